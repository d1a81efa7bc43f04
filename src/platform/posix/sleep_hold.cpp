#include "platform/posix/sleep_hold.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

namespace vreko::posix {

namespace {

constexpr char kWho[] = "Vreko";
constexpr char kWhy[] = "Counting down to the switch-off";
// A desktop service that does not answer within this time is taken as absent. The window is
// hidden while the program waits, and the count loses no more than this.
constexpr std::uint64_t kCallTimeoutUsec = 3'000'000;
// The portal's Inhibit flag for suspend; it is the only one asked for (not idle, 8).
constexpr std::uint32_t kPortalSuspend = 4;

// The part of sd-bus the hold uses, loaded from libsystemd at the first hold.
struct SdBus {
    decltype(&sd_bus_open_user) openUser = nullptr;
    decltype(&sd_bus_open_system) openSystem = nullptr;
    decltype(&sd_bus_set_method_call_timeout) setTimeout = nullptr;
    decltype(&sd_bus_get_unique_name) uniqueName = nullptr;
    decltype(&sd_bus_match_signal) matchSignal = nullptr;
    decltype(&sd_bus_slot_unref) slotUnref = nullptr;
    decltype(&sd_bus_process) process = nullptr;
    decltype(&sd_bus_wait) wait = nullptr;
    decltype(&sd_bus_call_method) call = nullptr;
    decltype(&sd_bus_message_read) read = nullptr;
    decltype(&sd_bus_message_unref) unref = nullptr;
    decltype(&sd_bus_error_free) errorFree = nullptr;
    decltype(&sd_bus_flush_close_unref) close = nullptr;
};

template <typename F>
bool Symbol(void* lib, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(lib, name));
    return out != nullptr;
}

const SdBus* LoadSdBus() {
    static const SdBus* loaded = []() -> const SdBus* {
        void* lib = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return nullptr;
        static SdBus s;
        if (Symbol(lib, "sd_bus_open_user", s.openUser) && Symbol(lib, "sd_bus_open_system", s.openSystem) &&
            Symbol(lib, "sd_bus_set_method_call_timeout", s.setTimeout) && Symbol(lib, "sd_bus_call_method", s.call) &&
            Symbol(lib, "sd_bus_get_unique_name", s.uniqueName) && Symbol(lib, "sd_bus_match_signal", s.matchSignal) &&
            Symbol(lib, "sd_bus_slot_unref", s.slotUnref) && Symbol(lib, "sd_bus_process", s.process) &&
            Symbol(lib, "sd_bus_wait", s.wait) && Symbol(lib, "sd_bus_message_read", s.read) &&
            Symbol(lib, "sd_bus_message_unref", s.unref) && Symbol(lib, "sd_bus_error_free", s.errorFree) &&
            Symbol(lib, "sd_bus_flush_close_unref", s.close))
            return &s;
        dlclose(lib);
        return nullptr;
    }();
    return loaded;
}

std::uint64_t MonotonicUsec() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::uint64_t(t.tv_sec) * 1'000'000 + std::uint64_t(t.tv_nsec) / 1000;
}

// The portal's answer to a request: its Response signal, 0 when granted.
struct PortalAnswer {
    const SdBus* sd = nullptr;
    bool answered = false;
    std::uint32_t code = 2;
};

int OnPortalResponse(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* answer = static_cast<PortalAnswer*>(userdata);
    std::uint32_t code = 2;
    if (answer->sd->read(m, "u", &code) > 0) answer->code = code;
    answer->answered = true;
    return 0;
}

}  // namespace

struct DbusSleepHold::Bus {
    sd_bus* bus = nullptr;
    bool tried = false;
};

namespace {

// The connection to one bus, made at its first use; null when there is none.
sd_bus* Connect(DbusSleepHold::Bus*& slot, bool system) {
    if (!slot) slot = new DbusSleepHold::Bus;
    if (slot->tried) return slot->bus;
    slot->tried = true;
    const SdBus* sd = LoadSdBus();
    if (!sd) return nullptr;
    sd_bus* bus = nullptr;
    if ((system ? sd->openSystem(&bus) : sd->openUser(&bus)) < 0) return nullptr;
    sd->setTimeout(bus, kCallTimeoutUsec);
    slot->bus = bus;
    return bus;
}

// A method call whose reply is read with types (nothing when null): 0 when it answered, else a
// negative error number (-ETIMEDOUT: no answer in time).
template <typename Send, typename... Out>
int Call(sd_bus* bus, const char* outTypes, const Send& send, Out*... out) {
    const SdBus* sd = LoadSdBus();
    if (!bus || !sd) return -ENOTCONN;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = send(*sd, bus, &error, &reply);
    if (r >= 0 && outTypes) r = sd->read(reply, outTypes, out...) > 0 ? 0 : -EBADMSG;
    sd->unref(reply);
    sd->errorFree(&error);
    return r < 0 ? r : 0;
}

}  // namespace

DbusSleepHold::~DbusSleepHold() {
    Release();
    Close();
}

void DbusSleepHold::Close() {
    const SdBus* sd = LoadSdBus();
    for (Bus** slot : {&session_, &system_}) {
        if (*slot && (*slot)->bus && sd) sd->close((*slot)->bus);
        delete *slot;
        *slot = nullptr;
    }
}

const char* DbusSleepHold::Holder() const {
    switch (via_) {
        case Via::Portal: return "portal";
        case Via::PowerManagement: return "power-management";
        case Via::Logind: return "logind";
        default: return "";
    }
}

void DbusSleepHold::Take() {
    if (taken_) return;
    taken_ = true;
    if (TakePortal())
        via_ = Via::Portal;
    else if (TakePowerManagement())
        via_ = Via::PowerManagement;
    else if (TakeLogind())
        via_ = Via::Logind;
}

bool DbusSleepHold::TakePortal() {
    sd_bus* bus = Connect(session_, false);
    const SdBus* sd = LoadSdBus();
    const char* unique = nullptr;
    if (!bus || !sd || sd->uniqueName(bus, &unique) < 0 || !unique) return false;
    const std::uint64_t deadline = MonotonicUsec() + kCallTimeoutUsec;
    // The request's object is named from our name on the bus and a token of ours: its answer
    // can be awaited from the start, and a request the portal answers too late (it may be
    // starting up) can still be closed.
    const std::string token = "vreko" + std::to_string(++portalRequests_);
    std::string sender = unique[0] == ':' ? unique + 1 : unique;
    for (char& c : sender)
        if (c == '.') c = '_';
    const std::string request = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    PortalAnswer answer;
    answer.sd = sd;
    sd_bus_slot* slot = nullptr;
    if (sd->matchSignal(bus, &slot, nullptr, request.c_str(), "org.freedesktop.portal.Request", "Response",
                        OnPortalResponse, &answer) < 0)
        return false;
    // The reply names the request object as above (the portal names it from the token).
    int r = Call(bus, nullptr, [&token](const SdBus& api, sd_bus* b, sd_bus_error* e, sd_bus_message** m) {
        return api.call(b, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                        "org.freedesktop.portal.Inhibit", "Inhibit", e, m, "sua{sv}", "", kPortalSuspend, 2,
                        "handle_token", "s", token.c_str(), "reason", "s", kWhy);
    });
    // The portal replies at once and answers once its desktop's part has decided: a desktop
    // without a part that holds suspend refuses there.
    while (r == 0 && !answer.answered) {
        const int processed = sd->process(bus, nullptr);
        if (processed < 0) break;
        if (processed > 0) continue;
        const std::uint64_t now = MonotonicUsec();
        if (now >= deadline) break;
        sd->wait(bus, deadline - now);
    }
    sd->slotUnref(slot);
    if (answer.answered) {
        if (answer.code != 0) return false;  // refused: the portal has closed the request
        portalHandle_ = request;
        return true;
    }
    // No answer in time: the request may still be granted. It is closed with the rest, and the
    // next interface is asked meanwhile.
    if (r == 0 || r == -ETIMEDOUT) portalHandle_ = request;
    return false;
}

bool DbusSleepHold::TakePowerManagement() {
    sd_bus* bus = Connect(session_, false);
    std::uint32_t cookie = 0;
    const bool ok =
        0 == Call(
                 bus, "u",
                 [](const SdBus& sd, sd_bus* b, sd_bus_error* e, sd_bus_message** r) {
                     return sd.call(b, "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                                    "org.freedesktop.PowerManagement.Inhibit", "Inhibit", e, r, "ss", kWho, kWhy);
                 },
                 &cookie);
    if (!ok) return false;
    cookie_ = cookie;
    powerManagementHeld_ = true;
    return true;
}

bool DbusSleepHold::TakeLogind() {
    sd_bus* bus = Connect(system_, true);
    int fd = -1;
    const bool ok = 0 == Call(
                             bus, "h",
                             [](const SdBus& sd, sd_bus* b, sd_bus_error* e, sd_bus_message** r) {
                                 return sd.call(b, "org.freedesktop.login1", "/org/freedesktop/login1",
                                                "org.freedesktop.login1.Manager", "Inhibit", e, r, "ssss", "sleep",
                                                kWho, kWhy, "block");
                             },
                             &fd);
    if (!ok || fd < 0) return false;
    // The reply owns its descriptor: keep a copy of our own, closed on exec.
    logindFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    return logindFd_ >= 0;
}

void DbusSleepHold::Release() {
    if (!taken_) return;
    taken_ = false;
    via_ = Via::None;
    sd_bus* session = session_ ? session_->bus : nullptr;
    if (!portalHandle_.empty()) {
        const std::string handle = std::move(portalHandle_);
        portalHandle_.clear();
        Call(session, nullptr, [&handle](const SdBus& sd, sd_bus* b, sd_bus_error* e, sd_bus_message** m) {
            return sd.call(b, "org.freedesktop.portal.Desktop", handle.c_str(), "org.freedesktop.portal.Request",
                           "Close", e, m, "");
        });
    }
    if (powerManagementHeld_) {
        powerManagementHeld_ = false;
        const std::uint32_t cookie = cookie_;
        Call(session, nullptr, [cookie](const SdBus& sd, sd_bus* b, sd_bus_error* e, sd_bus_message** m) {
            return sd.call(b, "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                           "org.freedesktop.PowerManagement.Inhibit", "UnInhibit", e, m, "u", cookie);
        });
    }
    if (logindFd_ >= 0) {
        close(logindFd_);
        logindFd_ = -1;
    }
}

// ---- SleepWatch ---------------------------------------------------------------------------

bool SleepWatch::Look(std::int64_t boottimeMs, std::int64_t monotonicMs) {
    const std::int64_t asleep = boottimeMs - monotonicMs;
    if (!started_) {
        started_ = true;
        asleepMs_ = asleep;
        return false;
    }
    const bool slept = asleep - asleepMs_ > kThresholdMs;
    asleepMs_ = asleep;
    return slept;
}

bool SleepWatch::Look() {
    timespec boot{}, mono{};
    if (clock_gettime(CLOCK_BOOTTIME, &boot) != 0 || clock_gettime(CLOCK_MONOTONIC, &mono) != 0) return false;
    auto ms = [](const timespec& t) { return std::int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    return Look(ms(boot), ms(mono));
}

}  // namespace vreko::posix
