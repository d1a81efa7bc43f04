#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/named_lock.h"

namespace vreko::posix {
namespace {

struct LockDir {
    LockDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vreko-lock-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~LockDir() { std::filesystem::remove_all(path); }
    std::string path;
};

TEST(NamedLocks, GateAndInstanceLockAnswerLikeNamedMutexes) {
    LockDir dir;
    NamedLocks first(dir.path), second(dir.path);

    // The first copy's gate is newly created; a copy testing at the same moment finds it existing.
    std::intptr_t gate = first.Create(true, "Vreko.OneInstance.CriticalSection");
    ASSERT_NE(gate, 0);
    EXPECT_EQ(first.LastError(), 0u);
    std::intptr_t otherGate = second.Create(true, "Vreko.OneInstance.CriticalSection");
    EXPECT_EQ(second.LastError(), 183u);
    second.Close(otherGate);

    std::intptr_t inst = first.Create(false, "Vreko.OneInstance.Default");
    EXPECT_EQ(first.Wait(inst), 0u);
    first.Release(gate);
    first.Close(gate);

    // A later copy: the gate is free again, the instance lock is held.
    gate = second.Create(true, "Vreko.OneInstance.CriticalSection");
    EXPECT_EQ(second.LastError(), 0u);
    std::intptr_t inst2 = second.Create(false, "Vreko.OneInstance.Default");
    EXPECT_EQ(second.Wait(inst2), 0x102u);
    second.Close(gate);

    // Once the running copy lets go, the next wait takes it.
    first.Release(inst);
    EXPECT_EQ(second.Wait(inst2), 0u);
    EXPECT_EQ(first.Wait(inst), 0x102u);
}

TEST(NamedLocks, ACopyThatDiedLeavesTheLockFree) {
    LockDir dir;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        NamedLocks locks(dir.path);
        std::intptr_t h = locks.Create(false, "Vreko.OneInstance.Default");
        _exit(h != 0 && locks.Wait(h) == 0 ? 0 : 1);  // dies holding the lock
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    NamedLocks next(dir.path);
    std::intptr_t h = next.Create(false, "Vreko.OneInstance.Default");
    EXPECT_EQ(next.Wait(h), 0u);
}

TEST(NamedLocks, RuntimeFolderRefusesFoldersOpenToOthers) {
    LockDir dir;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    chmod(dir.path.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1);
    EXPECT_EQ(RuntimeFolder(), dir.path);
    chmod(dir.path.c_str(), 0777);  // anyone could plant or hold our locks here
    const std::string fallback = RuntimeFolder();
    EXPECT_NE(fallback, dir.path);
    EXPECT_EQ(fallback, "/tmp/vreko-" + std::to_string(geteuid()));
    struct stat st {};
    ASSERT_EQ(stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    setenv("XDG_RUNTIME_DIR", "relative/path", 1);
    EXPECT_EQ(RuntimeFolder(), fallback);
    if (saved) setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");

    NamedLocks none("");
    EXPECT_EQ(none.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    NamedLocks locks(dir.path);
    EXPECT_EQ(locks.Create(false, "../escape"), 0);  // names never leave the folder
}

}  // namespace
}  // namespace vreko::posix
