#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
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

TEST(NamedLocks, CopiesStartedInAnyEnvironmentFindEachOther) {
    // A copy from a desktop session, one from cron without XDG_RUNTIME_DIR, and one from a
    // script with another HOME and XDG_STATE_HOME: each takes its locks in the same place.
    LockDir dir;
    const std::string runtime = dir.path + "/runtime", home = dir.path + "/home";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    const std::string state = dir.path + "/state";
    struct Environment {
        const char* runtime;
        const char* home;
        const char* state;
    };
    const Environment environments[] = {
        {runtime.c_str(), nullptr, nullptr}, {nullptr, nullptr, nullptr}, {nullptr, home.c_str(), state.c_str()}};
    if (LockFolder().empty()) GTEST_SKIP() << "this user has no lock folder: no runtime folder and no home";
    // A lock name of this test alone, so that no running copy of the program is disturbed.
    const std::string name = "Vreko.Test." + std::to_string(getpid()) + ".Default";
    for (const Environment& first : environments) {
        for (const Environment& later : environments) {
            std::string folders[2];
            std::unique_ptr<NamedLocks> locks[2];
            std::intptr_t handles[2] = {};
            std::uint32_t waits[2] = {};
            for (int copy = 0; copy < 2; ++copy) {
                const Environment& env = copy == 0 ? first : later;
                ScopedEnv r("XDG_RUNTIME_DIR", env.runtime), h("HOME", env.home), x("XDG_STATE_HOME", env.state);
                folders[copy] = LockFolder();
                locks[copy] = std::make_unique<NamedLocks>(folders[copy]);
                handles[copy] = locks[copy]->Create(false, name);
                waits[copy] = locks[copy]->Wait(handles[copy]);
            }
            EXPECT_FALSE(folders[0].empty());
            EXPECT_EQ(folders[0], folders[1]);
            EXPECT_EQ(waits[0], 0u);
            EXPECT_EQ(waits[1], 0x102u) << "both copies would run";
            for (int copy = 0; copy < 2; ++copy) locks[copy]->Close(handles[copy]);
            if (!folders[0].empty()) std::filesystem::remove(folders[0] + "/" + name);
        }
    }
}

TEST(NamedLocks, TheFolderComesFromTheUsersRuntimeFolderElseTheHome) {
    LockDir dir;
    LockPlaces places{dir.path + "/run/user/1000", dir.path + "/home/u/"};
    ASSERT_EQ(mkdir((dir.path + "/run").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir.path + "/run/user").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(places.runtime.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir.path + "/home").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(places.home.c_str(), 0755), 0);

    // The private runtime folder, with a folder of ours in it.
    EXPECT_EQ(LockFolder(places), places.runtime + "/vreko");
    EXPECT_EQ(ModeOf(places.runtime + "/vreko"), 0700u);

    // A runtime folder open to others (anyone could plant or hold our locks there), a link,
    // or none at all: the home's state folder, every folder made on the way closed to others.
    const std::string state = dir.path + "/home/u/.local/state/vreko";
    chmod(places.runtime.c_str(), 0777);
    EXPECT_EQ(LockFolder(places), state);
    EXPECT_EQ(ModeOf(dir.path + "/home/u/.local"), 0700u);
    EXPECT_EQ(ModeOf(dir.path + "/home/u/.local/state"), 0700u);
    EXPECT_EQ(ModeOf(state), 0700u);
    ASSERT_EQ(rmdir((places.runtime + "/vreko").c_str()), 0);
    ASSERT_EQ(rmdir(places.runtime.c_str()), 0);
    ASSERT_EQ(symlink(places.home.c_str(), places.runtime.c_str()), 0);
    EXPECT_EQ(LockFolder(places), state);
    EXPECT_EQ(LockFolder({"", places.home}), state);
    EXPECT_EQ(LockFolder({"relative/run", places.home}), state);

    NamedLocks locks(LockFolder(places));
    const std::intptr_t gate = locks.Create(true, "Vreko.OneInstance.CriticalSection");
    EXPECT_NE(gate, 0);
    EXPECT_EQ(locks.LastError(), 0u);
    EXPECT_EQ(locks.Problem(), "");
    EXPECT_EQ(locks.Create(false, "../escape"), 0);  // names never leave the folder

    // A state folder that is a link, or open to others, is refused, and the refusal names it.
    ASSERT_EQ(rename(state.c_str(), (dir.path + "/elsewhere").c_str()), 0);
    ASSERT_EQ(symlink((dir.path + "/elsewhere").c_str(), state.c_str()), 0);
    std::string tried;
    EXPECT_EQ(LockFolder(places, &tried), "");
    EXPECT_EQ(tried, state);
    ASSERT_EQ(unlink(state.c_str()), 0);
    ASSERT_EQ(mkdir(state.c_str(), 0755), 0);
    ASSERT_EQ(chmod(state.c_str(), 0755), 0);
    EXPECT_EQ(LockFolder(places), "");

    // A home that does not exist is not made; without any home the refusal says where it looked.
    const std::string missing = dir.path + "/no-such-home";
    tried.clear();
    EXPECT_EQ(LockFolder({"", missing}, &tried), "");
    EXPECT_EQ(tried, missing + "/.local/state/vreko");
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(LockFolder({"", ""}, &tried), "");
    EXPECT_EQ(tried, "~/.local/state/vreko");
}

TEST(NamedLocks, EachDisplayHasLocksOfItsOwn) {
    EXPECT_EQ(DisplayScope(":0"), ":0");
    EXPECT_EQ(DisplayScope(":0.1"), ":0");
    EXPECT_EQ(DisplayScope("unix:0"), ":0");
    EXPECT_EQ(DisplayScope("unix/:12.0"), ":12");
    EXPECT_EQ(DisplayScope("localhost:10.0"), "localhost:10");
    EXPECT_EQ(DisplayScope("tcp/example.org:1"), "example.org:1");
    EXPECT_EQ(DisplayScope("/tmp/.X11-unix/X0"), "_tmp_.X11-unix_X0");  // no '/' reaches a file name
    EXPECT_EQ(DisplayScope(""), "");
    EXPECT_EQ(DisplayScope(nullptr), "");

    LockDir dir;
    NamedLocks first(dir.path, {}, DisplayScope(":0")), sameDisplay(dir.path, {}, DisplayScope(":0.0")),
        otherDisplay(dir.path, {}, DisplayScope(":1"));
    const std::string name = "Vreko.OneInstance.Default";
    EXPECT_EQ(first.Wait(first.Create(false, name)), 0u);
    EXPECT_EQ(sameDisplay.Wait(sameDisplay.Create(false, name)), 0x102u);
    EXPECT_EQ(otherDisplay.Wait(otherDisplay.Create(false, name)), 0u);
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/" + name + "@:0"));
}

TEST(NamedLocks, NoLockIsHadInAFolderThatIsNotOursAlone) {
    LockDir dir;
    // The folder is checked again when the locks open it.
    chmod(dir.path.c_str(), 0777);
    NamedLocks open(dir.path);
    EXPECT_EQ(open.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    EXPECT_EQ(open.LastError(), 110u);
    EXPECT_NE(open.Problem().find(dir.path), std::string::npos) << open.Problem();
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/Vreko.OneInstance.CriticalSection"));

    // Without a folder, the refusal names the one that was tried.
    NamedLocks none("", "/home/someone/.local/state/vreko");
    EXPECT_EQ(none.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
    EXPECT_NE(none.Problem().find("/home/someone/.local/state/vreko"), std::string::npos) << none.Problem();

    if (geteuid() != 0) GTEST_SKIP() << "folders of another user need root to make";
    // Folders of another user, closed to others as they may be, are not ours.
    chmod(dir.path.c_str(), 0700);
    const std::string runtime = dir.path + "/runtime", home = dir.path + "/home";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(chown(runtime.c_str(), 65534, 65534), 0);
    EXPECT_EQ(LockFolder({runtime, home}), home + "/.local/state/vreko");
    ASSERT_EQ(chown((home + "/.local/state/vreko").c_str(), 65534, 65534), 0);
    EXPECT_EQ(LockFolder({runtime, home}), "");
    NamedLocks theirs(runtime);
    EXPECT_EQ(theirs.Create(true, "Vreko.OneInstance.CriticalSection"), 0);
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
            const std::string folder = LockFolder({"", home});
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
