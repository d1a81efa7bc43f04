#include "platform/posix/named_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vreko::posix {

namespace {

constexpr std::uint32_t kAlreadyExists = 183;
// A lock that cannot be had for a reason of our own (never "another copy holds it").
constexpr std::uint32_t kOpenFailed = 110;
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

std::string WithoutTrailingSlashes(std::string path) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    return path;
}

bool LockNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == ':';
}

}  // namespace

LockPlaces UserLockPlaces() {
    LockPlaces places;
    const uid_t uid = geteuid();
    places.runtime = "/run/user/" + std::to_string(uid);
    if (const passwd* pw = getpwuid(uid); pw && Absolute(pw->pw_dir)) places.home = pw->pw_dir;
    return places;
}

std::string LockFolder(const LockPlaces& places, std::string* tried) {
    if (Absolute(places.runtime.c_str()) && PrivateFolder(places.runtime)) {
        const std::string folder = WithoutTrailingSlashes(places.runtime) + "/vreko";
        mkdir(folder.c_str(), 0700);
        if (PrivateFolder(folder)) return folder;
    }
    std::string folder;
    if (Absolute(places.home.c_str())) {
        const std::string base = WithoutTrailingSlashes(places.home);
        folder = base + "/.local/state/vreko";
        MakeFolders(base, folder);
        if (PrivateFolder(folder)) return folder;
    }
    if (tried) *tried = folder.empty() ? std::string("~/.local/state/vreko") : folder;
    return {};
}

std::string DisplayScope(const char* displayName) {
    if (!displayName || !*displayName) return {};
    const std::string_view name = displayName;
    std::string scope;
    const auto colon = name.rfind(':');
    if (colon == std::string_view::npos) {
        scope = name;  // a socket path
    } else {
        // [protocol/][host]:display[.screen]
        std::string_view host = name.substr(0, colon), protocol;
        if (const auto slash = host.find('/'); slash != std::string_view::npos) {
            protocol = host.substr(0, slash);
            host = host.substr(slash + 1);
        }
        std::string_view number = name.substr(colon + 1);
        number = number.substr(0, number.find('.'));
        const bool local = (host.empty() || host == "unix") && (protocol.empty() || protocol == "unix");
        scope = std::string(local ? std::string_view() : host) + ":" + std::string(number);
    }
    for (char& c : scope)
        if (!LockNameCharacter(c)) c = '_';
    return scope;
}

NamedLocks::NamedLocks(std::string folder, std::string tried, std::string scope)
    : folder_(std::move(folder)), tried_(std::move(tried)), scope_(std::move(scope)) {
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
        lastError_ = kOpenFailed;
        problem_ = "It found no private folder for its lock files. " + tried_ +
                   " must be a folder of this user alone: not a link, and closed to other users.";
        return 0;
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        lastError_ = kOpenFailed;
        problem_ = "The lock name \"" + name + "\" cannot be used in " + folder_ + ".";
        return 0;
    }
    const std::string file = scope_.empty() ? name : name + "@" + scope_;
    const int fd = ::openat(dirFd_, file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        const int err = errno;
        lastError_ = kOpenFailed;
        problem_ = "The lock file " + folder_ + "/" + file + " cannot be opened: " + std::strerror(err) + ".";
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
