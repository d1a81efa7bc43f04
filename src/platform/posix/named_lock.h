// Named locks for one user on Linux: lock files in a folder of that user alone, taken with
// flock without waiting. The kernel drops a lock when its holder dies, so a copy that died
// leaves nothing behind.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

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
// another, as each window system session has named locks of its own: the X display name
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

    // Opens (creating when needed) the lock named name. With takeNow the lock is taken at
    // once: how is then Created when it was free (the lock counts as newly made) and Existed
    // when another holder has it; without, Created. Null, with how Failed, when no lock can
    // be had; Problem() then says why, naming the folder.
    [[nodiscard]] std::unique_ptr<NamedLock> Open(const std::string& name, bool takeNow, LockOpened& how);
    const std::string& Problem() const { return problem_; }

private:
    std::string folder_;
    std::string scope_;
    int dirFd_ = -1;
    std::string folderProblem_;  // why the folder cannot hold the locks
    std::string problem_;
};

}  // namespace vreko::posix
