#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/named_lock.h"
#include "test_posix_user.h"
#include "test_settings_util.h"

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

// Sets or clears an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(NamedLocks, RuntimeFolderRefusesFoldersOpenToOthers) {
    LockDir dir;
    const std::string state = dir.path + "/state";
    ScopedEnv stateHome("XDG_STATE_HOME", state.c_str());
    chmod(dir.path.c_str(), 0700);
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path.c_str());
    EXPECT_EQ(LockFolder(), dir.path);
    chmod(dir.path.c_str(), 0777);  // anyone could plant or hold our locks here
    const std::string fallback = LockFolder();
    EXPECT_NE(fallback, dir.path);
    EXPECT_EQ(fallback, state + "/vreko");
    EXPECT_EQ(ModeOf(fallback), 0700u);
    setenv("XDG_RUNTIME_DIR", "relative/path", 1);
    EXPECT_EQ(LockFolder(), fallback);

    NamedLocks none("");
    EXPECT_EQ(none.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    NamedLocks locks(dir.path);
    EXPECT_EQ(locks.Create(false, "../escape"), 0);  // names never leave the folder
}

TEST(NamedLocks, WithoutAPrivateRuntimeFolderTheLocksLiveInTheUsersStateFolder) {
    LockDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv stateHome("XDG_STATE_HOME", nullptr);
    const std::string home = dir.path + "/home";
    ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
    ScopedEnv homeEnv("HOME", home.c_str());

    // Every folder it makes on the way is closed to others.
    const std::string folder = home + "/.local/state/vreko";
    EXPECT_EQ(LockFolder(), folder);
    EXPECT_EQ(ModeOf(home + "/.local"), 0700u);
    EXPECT_EQ(ModeOf(home + "/.local/state"), 0700u);
    EXPECT_EQ(ModeOf(folder), 0700u);
    NamedLocks locks(LockFolder());
    const std::intptr_t gate = locks.Create(true, "Vreko.OneInstance.CriticalSection");
    EXPECT_NE(gate, 0);
    EXPECT_EQ(locks.LastError(), 0u);
    EXPECT_EQ(locks.Problem(), "");

    // $XDG_STATE_HOME takes the place of ~/.local/state, and is made when missing.
    const std::string state = dir.path + "/xdg/state";
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    EXPECT_EQ(LockFolder(), state + "/vreko");
    unsetenv("XDG_STATE_HOME");

    // A lock folder that is a link, or open to others, is refused, and the refusal names it.
    ASSERT_EQ(rename(folder.c_str(), (home + "/elsewhere").c_str()), 0);
    ASSERT_EQ(symlink((home + "/elsewhere").c_str(), folder.c_str()), 0);
    std::string tried;
    EXPECT_EQ(LockFolder(&tried), "");
    EXPECT_EQ(tried, folder);
    ASSERT_EQ(unlink(folder.c_str()), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(LockFolder(), "");

    // A home that does not exist is not made.
    const std::string missing = dir.path + "/no-such-home";
    setenv("HOME", missing.c_str(), 1);
    tried.clear();
    EXPECT_EQ(LockFolder(&tried), "");
    EXPECT_EQ(tried, missing + "/.local/state/vreko");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(NamedLocks, NoLockIsHadInAFolderThatIsNotOursAlone) {
    LockDir dir;
    // The folder is checked again when the locks open it.
    chmod(dir.path.c_str(), 0777);
    NamedLocks open(dir.path);
    EXPECT_EQ(open.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    EXPECT_EQ(open.LastError(), 5u);
    EXPECT_NE(open.Problem().find(dir.path), std::string::npos) << open.Problem();
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/Vreko.OneInstance.CriticalSection"));

    // Without a folder, the refusal names the one that was tried.
    NamedLocks none("", "/home/someone/.local/state/vreko");
    EXPECT_EQ(none.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    EXPECT_NE(none.Problem().find("/home/someone/.local/state/vreko"), std::string::npos) << none.Problem();

    if (geteuid() != 0) GTEST_SKIP() << "folders of another user need root to make";
    // Folders of another user, closed to others as they may be, are not ours.
    chmod(dir.path.c_str(), 0700);
    ASSERT_EQ(chown(dir.path.c_str(), 65534, 65534), 0);
    const std::string state = dir.path + "-state";
    ScopedEnv stateHome("XDG_STATE_HOME", state.c_str());
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path.c_str());
    EXPECT_EQ(LockFolder(), state + "/vreko");
    ASSERT_EQ(chown((state + "/vreko").c_str(), 65534, 65534), 0);
    EXPECT_EQ(LockFolder(), "");
    NamedLocks theirs(dir.path);
    EXPECT_EQ(theirs.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    std::filesystem::remove_all(state);
}

// What another user can make at the shared name in /tmp before this user ever starts.
enum class Planted { OpenFolder, Link, File };

TEST(NamedLocks, AnotherUserCannotBlockTheLockFolderFromTmp) {
    // As root the user is "nobody" and root is the other user; else the planted names are ours,
    // which the lock folder must ignore as well.
    const uid_t user = geteuid() == 0 ? 65534 : geteuid();
    const std::string shared = "/tmp/vreko-" + std::to_string(user);
    struct stat st {};
    if (lstat(shared.c_str(), &st) == 0) GTEST_SKIP() << shared << " exists already; it is left alone";

    for (Planted planted : {Planted::OpenFolder, Planted::Link, Planted::File}) {
        SCOPED_TRACE(int(planted));
        settings_test::TempDir dir;
        if (planted == Planted::OpenFolder) {
            ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
            ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
        } else if (planted == Planted::Link) {
            ASSERT_EQ(symlink(dir.path().c_str(), shared.c_str()), 0);
        } else {
            std::ofstream(shared) << "taken\n";
        }
        const std::string home = (dir.path() / "home").string();
        settings_test::AsOrdinaryUser(dir, [&] {
            ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
            setenv("HOME", home.c_str(), 1);
            unsetenv("XDG_RUNTIME_DIR");
            unsetenv("XDG_STATE_HOME");
            const std::string folder = LockFolder();
            EXPECT_EQ(folder, home + "/.local/state/vreko");
            NamedLocks locks(folder);
            EXPECT_NE(locks.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
            EXPECT_EQ(locks.LastError(), 0u) << "counted as a second copy";
        });
        std::filesystem::remove(shared);
    }
}

}  // namespace
}  // namespace vreko::posix
