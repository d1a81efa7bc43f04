// Named mutexes for one user on Linux: lock files in a folder of that user alone, taken with
// flock without waiting. The kernel drops a lock when its holder dies, so a copy that died
// leaves nothing behind.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vreko::posix {

// The system's folder for temporary files, the same for every process of the machine.
inline constexpr const char* kSharedTemporaryFolder = "/tmp";

// The folder of this user's lock files: "vreko-<uid>" in shared (the system's temporary
// folder), after the number of the user the program runs as (its effective user id). Nothing
// else goes into the name: every copy of one user finds the same place however and whenever
// it was started (from a desktop session, cron, a script with another HOME, before or after
// the login manager made the user's runtime folder), also a user without a home folder.
std::string LockFolder(const std::string& shared = kSharedTemporaryFolder);

// The part of the lock names that keeps the copies on one display apart from those on
// another, as each window system session has named mutexes of its own: the X display name
// without its screen number, with the local forms (":0", "unix:0", ":0.0") made one. Empty
// without a display name.
std::string DisplayScope(const char* displayName);

class NamedLocks {
public:
    // folder: from LockFolder. It is made with mode 0700 when missing, and used only when it is
    // a real folder (not a link) of this user, closed to others, in a folder where no other
    // user can move it away (one of root or of this user, sticky when everyone may write in
    // it, as /tmp is). Anything else in its place, made there by another user or not, gives no
    // lock, and Problem() names it. While the object lives it holds a shared lock on the
    // folder, which keeps cleaners of the temporary folder (systemd-tmpfiles) out of it.
    // scope: from DisplayScope; a lock named name lives in the file name "@" scope (name alone
    // when scope is empty).
    explicit NamedLocks(std::string folder, std::string scope = {});
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
    std::string scope_;
    int dirFd_ = -1;
    std::string folderProblem_;  // why the folder cannot hold the locks
    std::map<std::intptr_t, Entry> handles_;
    std::intptr_t next_ = 1;
    std::uint32_t lastError_ = 0;
    std::string problem_;
};

}  // namespace vreko::posix
