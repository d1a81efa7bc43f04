#include "platform/posix/named_lock.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/ownership.h"

namespace vreko::posix {

namespace {

// One lock file, open; flock's lock on it is the named lock. Closing the file lets go of it.
class FileLock : public NamedLock {
public:
    FileLock(int fd, bool held) : fd_(fd), held_(held) {}
    ~FileLock() override { ::close(fd_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Takes the lock without waiting: the guard only ever asks so.
    LockWait TakeWithin(int) override {
        if (held_) return LockWait::Taken;
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return LockWait::Taken;
        }
        return errno == EWOULDBLOCK ? LockWait::TimedOut : LockWait::Failed;
    }
    void Release() override {
        if (!held_) return;
        flock(fd_, LOCK_UN);
        held_ = false;
    }

private:
    int fd_;
    bool held_;
};

bool LockNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == ':';
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Why the folder described by st, which holds the lock folder, would let another user move
// the lock folder away and put another in its place; empty when it would not.
std::string ParentProblem(const std::string& parent, const struct stat& st) {
    const uid_t me = ::geteuid();
    if (st.st_uid != 0 && st.st_uid != me)
        return parent + ", which holds it, belongs to another user (" + UserName(st.st_uid) + ")";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX))
        return parent + ", which holds it, is open to other users without the sticky bit (mode " +
               ModeText(st.st_mode) + ")";
    return {};
}

// Why what was found at the lock folder's name (st, not followed) cannot hold this user's
// locks, with what can be done about it; empty when it can.
std::string FolderProblem(const struct stat& st) {
    const std::string owner = UserName(st.st_uid);
    const std::string removal = ". " + owner + " or the administrator can remove it";
    if (S_ISLNK(st.st_mode)) return "it is a link made by " + owner + ", not a folder" + removal;
    if (!S_ISDIR(st.st_mode)) return "it is a file made by " + owner + ", not a folder" + removal;
    if (st.st_uid != ::geteuid()) return "it belongs to another user (" + owner + ")" + removal;
    if (st.st_mode & 077)
        return "it is open to other users (mode " + ModeText(st.st_mode) +
               "). Once it is removed, the next start "
               "makes it again";
    return {};
}

}  // namespace

std::string LockFolder(const std::string& shared) {
    return WithoutTrailingSlashes(shared) + "/vreko-" + std::to_string(::geteuid());
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

NamedLocks::NamedLocks(std::string folder, std::string scope)
    : folder_(WithoutTrailingSlashes(std::move(folder))), scope_(std::move(scope)) {
    const auto slash = folder_.rfind('/');
    if (folder_.empty() || slash == std::string::npos || slash + 1 == folder_.size()) {
        folderProblem_ = "it is not a full path";
        return;
    }
    const std::string parent = slash == 0 ? "/" : folder_.substr(0, slash);
    const std::string name = folder_.substr(slash + 1);
    // Everything is checked on what was opened, so that nothing can be swapped in between.
    const int parentFd = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (parentFd < 0 || ::fstat(parentFd, &st) != 0) {
        folderProblem_ = parent + ", which holds it, cannot be opened: " + std::strerror(errno);
        if (parentFd >= 0) ::close(parentFd);
        return;
    }
    folderProblem_ = ParentProblem(parent, st);
    if (folderProblem_.empty() && ::mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST)
        folderProblem_ = std::string("it cannot be made: ") + std::strerror(errno);
    if (folderProblem_.empty()) {
        const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::fstat(fd, &st) == 0) {
            folderProblem_ = FolderProblem(st);
        } else if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            folderProblem_ = FolderProblem(st);  // a link or a file
            if (folderProblem_.empty()) folderProblem_ = "it cannot be opened";
        } else {
            folderProblem_ = std::string("it cannot be opened: ") + std::strerror(errno);
        }
        if (folderProblem_.empty()) {
            dirFd_ = fd;
            (void)::flock(dirFd_, LOCK_SH | LOCK_NB);
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    ::close(parentFd);
}

NamedLocks::~NamedLocks() {
    if (dirFd_ >= 0) ::close(dirFd_);
}

std::unique_ptr<NamedLock> NamedLocks::Open(const std::string& name, bool takeNow, LockOpened& how) {
    how = LockOpened::Failed;
    problem_.clear();
    if (dirFd_ < 0) {
        problem_ = "Its lock files belong in " + folder_ + ", a folder of this user alone, but " + folderProblem_ + ".";
        return nullptr;
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        problem_ = "The lock name \"" + name + "\" cannot be used in " + folder_ + ".";
        return nullptr;
    }
    const std::string file = scope_.empty() ? name : name + "@" + scope_;
    const int fd = ::openat(dirFd_, file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || !S_ISREG(st.st_mode)) {
        const int err = errno;
        problem_ = "The lock file " + folder_ + "/" + file +
                   " cannot be used: " + (fd < 0 ? std::string(std::strerror(err)) : "it is not a file of this user") +
                   ".";
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    const bool held = takeNow && flock(fd, LOCK_EX | LOCK_NB) == 0;
    how = takeNow && !held ? LockOpened::Existed : LockOpened::Created;
    return std::make_unique<FileLock>(fd, held);
}

}  // namespace vreko::posix
