// Named mutexes for one user on Linux: lock files in a folder of that user alone, taken with
// flock without waiting. The kernel drops a lock when its holder dies, so a copy that died
// leaves nothing behind.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vreko::posix {

// Where one user's lock files may be, taken from the user's account rather than from the
// environment, so that every copy of the program finds the same place however it was started
// (from a desktop session, cron, a script with another HOME or without XDG_RUNTIME_DIR).
struct LockPlaces {
    std::string runtime;  // the runtime folder the login manager makes for the user: /run/user/<uid>
    std::string home;     // the user's home folder in the password database
};

// The places of the user the program runs as (its effective user id).
LockPlaces UserLockPlaces();

// The folder for this user's lock files: "vreko" in places.runtime when that is a folder of
// ours closed to others; else ".local/state/vreko" in places.home. The "vreko" folder is made
// with mode 0700 where missing (as are missing folders between it and the home, which must
// exist) and held to the same rule: a real folder, not a link, ours, closed to others. Never
// a shared place such as /tmp, where another user could take the name first. Empty when no
// such folder can be had; *tried then names the folder that was refused.
std::string LockFolder(const LockPlaces& places, std::string* tried = nullptr);
inline std::string LockFolder(std::string* tried = nullptr) { return LockFolder(UserLockPlaces(), tried); }

// The part of the lock names that keeps the copies on one display apart from those on
// another, as each window system session has named mutexes of its own: the X display name
// without its screen number, with the local forms (":0", "unix:0", ":0.0") made one. Empty
// without a display name.
std::string DisplayScope(const char* displayName);

class NamedLocks {
public:
    // folder: from LockFolder; empty when there is none. It is opened once and checked again
    // (a real folder, ours, closed to others); lock files are made inside what was checked.
    // tried: the folder to name in Problem() when folder is empty. scope: from DisplayScope;
    // a lock named name lives in the file name "@" scope (name alone when scope is empty).
    explicit NamedLocks(std::string folder, std::string tried = {}, std::string scope = {});
    ~NamedLocks();
    NamedLocks(const NamedLocks&) = delete;
    NamedLocks& operator=(const NamedLocks&) = delete;

    // Opens (creating when needed) the lock named name. With initialOwner the lock is taken
    // at once: LastError() is then 0 when it was free (the mutex counts as newly created) and
    // 183 (already exists) when another holder has it. Returns 0 on failure.
    std::intptr_t Create(bool initialOwner, const std::string& name);
    std::uint32_t LastError() const { return lastError_; }
    // Why the last Create failed, in words for the user naming the folder; empty after a success.
    const std::string& Problem() const { return problem_; }
    // Takes the lock without waiting: 0 when taken (or already held through this handle),
    // 0x102 when another holder has it, 0xFFFFFFFF on failure.
    std::uint32_t Wait(std::intptr_t handle);
    void Release(std::intptr_t handle);
    void Close(std::intptr_t handle);

private:
    struct Entry {
        int fd;
        bool held;
    };
    std::string folder_;
    std::string tried_;
    std::string scope_;
    int dirFd_ = -1;
    std::map<std::intptr_t, Entry> handles_;
    std::intptr_t next_ = 1;
    std::uint32_t lastError_ = 0;
    std::string problem_;
};

}  // namespace vreko::posix
