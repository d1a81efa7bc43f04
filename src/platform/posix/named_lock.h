// Named mutexes for one user on Linux: lock files in a folder of that user alone, taken with
// flock without waiting. The kernel drops a lock when its holder dies, so a copy that died
// leaves nothing behind.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vreko::posix {

// The folder for this user's lock files: $XDG_RUNTIME_DIR when it is an absolute path to a
// folder of ours closed to others; else "vreko" in the user's state folder ($XDG_STATE_HOME
// when it is absolute, else ~/.local/state), made with mode 0700 where missing and held to the
// same rule. Never a shared place such as /tmp, where another user could take the name first.
// Empty when no such folder can be had; *tried then names the folder that was refused.
std::string LockFolder(std::string* tried = nullptr);

class NamedLocks {
public:
    // folder: from LockFolder; empty when there is none. It is opened once and checked again
    // (a real folder, ours, closed to others); lock files are made inside what was checked.
    // tried: the folder to name in Problem() when folder is empty.
    explicit NamedLocks(std::string folder, std::string tried = {});
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
    int dirFd_ = -1;
    std::map<std::intptr_t, Entry> handles_;
    std::intptr_t next_ = 1;
    std::uint32_t lastError_ = 0;
    std::string problem_;
};

}  // namespace vreko::posix
