// Named mutexes for one user on Linux: lock files in the user's runtime folder, taken with
// flock without waiting. The kernel drops a lock when its holder dies, so a copy that died
// leaves nothing behind.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vreko::posix {

// The user's runtime folder: $XDG_RUNTIME_DIR when it is an absolute path to a folder of
// ours, else /tmp/vreko-<uid>, created with mode 0700. Empty when no safe folder exists
// (one owned by another user, or open to others, is refused).
std::string RuntimeFolder();

class NamedLocks {
public:
    explicit NamedLocks(std::string folder) : folder_(std::move(folder)) {}
    ~NamedLocks();
    NamedLocks(const NamedLocks&) = delete;
    NamedLocks& operator=(const NamedLocks&) = delete;

    // Opens (creating when needed) the lock named name. With initialOwner the lock is taken
    // at once: LastError() is then 0 when it was free (the mutex counts as newly created) and
    // 183 (already exists) when another holder has it. Returns 0 on failure.
    std::intptr_t Create(bool initialOwner, const std::string& name);
    std::uint32_t LastError() const { return lastError_; }
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
    std::map<std::intptr_t, Entry> handles_;
    std::intptr_t next_ = 1;
    std::uint32_t lastError_ = 0;
};

}  // namespace vreko::posix
