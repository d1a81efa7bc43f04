// Linux: the hold on automatic sleep, asked of the desktop over D-Bus, and the watch that tells
// when the machine has slept.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vreko::posix {

// Asks, in this order, until one holds:
// 1. the desktop portal (org.freedesktop.portal.Inhibit on the session bus) for suspend only;
// 2. org.freedesktop.PowerManagement.Inhibit on the session bus (suspend only by definition);
// 3. systemd-logind (org.freedesktop.login1.Manager.Inhibit on the system bus) for "sleep" in
//    mode "block".
// A portal that does not answer in time (it may be starting) may still grant the request later:
// the next one is asked meanwhile, and both are let go. None of them is asked for idle: the
// screen still blanks and locks. D-Bus is libsystemd's
// sd-bus, loaded at the first hold, so that a start that never counts down does not load it.
// The buses drop what the program held when it ends, however it ends.
class DbusSleepHold : public SleepHold {
public:
    DbusSleepHold() = default;
    ~DbusSleepHold() override;
    DbusSleepHold(const DbusSleepHold&) = delete;
    DbusSleepHold& operator=(const DbusSleepHold&) = delete;

    void Take() override;
    void Release() override;

    // Which interface holds sleep now: "portal", "power-management", "logind", or empty.
    const char* Holder() const;

    struct Bus;  // a connection to one bus, made at its first use

private:
    bool TakePortal();
    bool TakePowerManagement();
    bool TakeLogind();
    void Close();

    bool taken_ = false;  // asked for (it may be that nothing answered)
    enum class Via { None, Portal, PowerManagement, Logind } via_ = Via::None;
    Bus* session_ = nullptr;
    Bus* system_ = nullptr;
    std::string portalHandle_;  // the portal's request object, closed to let go
    int portalRequests_ = 0;
    bool powerManagementHeld_ = false;
    std::uint32_t cookie_ = 0;  // PowerManagement's
    int logindFd_ = -1;         // logind's: closing it lets go
};

// Tells whether the machine slept between two looks: CLOCK_BOOTTIME counts the time the
// machine spends suspended, CLOCK_MONOTONIC does not, so the difference between them grows
// only by a sleep. A stopped process, a slow machine or a change of the wall clock moves both
// alike (or neither).
class SleepWatch {
public:
    // Sleeps shorter than this are not reported.
    static constexpr std::int64_t kThresholdMs = 5000;

    // A look with clock readings given in milliseconds: true when the machine slept since the
    // last look (the first look only sets the start).
    bool Look(std::int64_t boottimeMs, std::int64_t monotonicMs);
    // A look at the system's clocks.
    bool Look();

private:
    bool started_ = false;
    std::int64_t asleepMs_ = 0;  // boot time less monotonic time at the last look
};

}  // namespace vreko::posix
