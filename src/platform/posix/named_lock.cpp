#include "platform/posix/named_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vreko::posix {

namespace {

constexpr std::uint32_t kAlreadyExists = 183;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kWaitTimeout = 0x102;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

// A folder that is ours alone: a real folder (not a link), owned by us, closed to others.
bool PrivateFolder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::string RuntimeFolder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && xdg[0] == '/' && PrivateFolder(xdg)) return xdg;
    const std::string fallback = "/tmp/vreko-" + std::to_string(geteuid());
    if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
    return PrivateFolder(fallback) ? fallback : std::string();
}

NamedLocks::~NamedLocks() {
    for (auto& [h, e] : handles_) ::close(e.fd);
}

std::intptr_t NamedLocks::Create(bool initialOwner, const std::string& name) {
    lastError_ = 0;
    if (folder_.empty() || name.empty() || name.find('/') != std::string::npos) {
        lastError_ = kAccessDenied;
        return 0;
    }
    const std::string path = folder_ + "/" + name;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        lastError_ = kAccessDenied;
        return 0;
    }
    Entry e{fd, false};
    if (initialOwner) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) e.held = true;
        else lastError_ = kAlreadyExists;
    }
    const std::intptr_t h = next_++;
    handles_[h] = e;
    return h;
}

std::uint32_t NamedLocks::Wait(std::intptr_t handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return kWaitFailed;
    if (it->second.held) return 0;
    if (flock(it->second.fd, LOCK_EX | LOCK_NB) == 0) {
        it->second.held = true;
        return 0;
    }
    return errno == EWOULDBLOCK ? kWaitTimeout : kWaitFailed;
}

void NamedLocks::Release(std::intptr_t handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second.held) return;
    flock(it->second.fd, LOCK_UN);
    it->second.held = false;
}

void NamedLocks::Close(std::intptr_t handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    ::close(it->second.fd);
    handles_.erase(it);
}

}  // namespace vreko::posix
