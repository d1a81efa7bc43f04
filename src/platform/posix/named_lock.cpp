#include "platform/posix/named_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
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
bool PrivateFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool PrivateFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && PrivateFolder(st);
}

bool Absolute(const char* path) { return path && path[0] == '/'; }

// Makes every missing folder of path below base (which must exist), from the top down, with
// mode 0700. One that exists already is checked by the caller, not changed.
void MakeFolders(const std::string& base, const std::string& path) {
    struct stat st {};
    if (stat(base.empty() ? "/" : base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    for (std::size_t slash = path.find('/', base.size() + 1);; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

// The folder for our lock files in the user's state folder ($XDG_STATE_HOME, else
// ~/.local/state), made where missing; empty when there is no home to put it in.
std::string StateLockFolder() {
    std::string base, folder;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); Absolute(xdg)) {
        folder = std::string(xdg) + "/vreko";
    } else {
        if (const char* env = std::getenv("HOME"); Absolute(env)) {
            base = env;
        } else if (const passwd* pw = getpwuid(geteuid()); pw && Absolute(pw->pw_dir)) {
            base = pw->pw_dir;
        } else {
            return {};
        }
        while (!base.empty() && base.back() == '/') base.pop_back();
        folder = base + "/.local/state/vreko";
    }
    MakeFolders(base, folder);
    return folder;
}

}  // namespace

std::string LockFolder(std::string* tried) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (Absolute(runtime) && PrivateFolder(runtime)) return runtime;
    const std::string folder = StateLockFolder();
    if (!folder.empty() && PrivateFolder(folder)) return folder;
    if (tried) *tried = folder.empty() ? std::string("~/.local/state/vreko") : folder;
    return {};
}

NamedLocks::NamedLocks(std::string folder, std::string tried) : folder_(std::move(folder)), tried_(std::move(tried)) {
    if (folder_.empty()) return;
    if (tried_.empty()) tried_ = folder_;
    // Checked once more on the open folder itself, so nothing can be swapped in between.
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && PrivateFolder(st)) {
        dirFd_ = fd;
    } else if (fd >= 0) {
        ::close(fd);
    }
}

NamedLocks::~NamedLocks() {
    for (auto& [h, e] : handles_) ::close(e.fd);
    if (dirFd_ >= 0) ::close(dirFd_);
}

std::intptr_t NamedLocks::Create(bool initialOwner, const std::string& name) {
    lastError_ = 0;
    problem_.clear();
    if (dirFd_ < 0) {
        lastError_ = kAccessDenied;
        problem_ = "It found no private folder for its lock files. " + tried_ +
                   " must be a folder of this user alone: not a link, and closed to other users.";
        return 0;
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        lastError_ = kAccessDenied;
        problem_ = "The lock name \"" + name + "\" cannot be used in " + folder_ + ".";
        return 0;
    }
    const int fd = ::openat(dirFd_, name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int err = errno;
        lastError_ = kAccessDenied;
        problem_ = "The lock file " + folder_ + "/" + name + " cannot be opened: " + std::strerror(err) + ".";
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
