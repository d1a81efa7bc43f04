#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
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

// Opens the lock without taking it, and takes it without waiting: how the guard asks for the
// running copy's claim.
LockWait TakeNow(NamedLocks& locks, const std::string& name, std::unique_ptr<NamedLock>& lock) {
    LockOpened how = LockOpened::Failed;
    lock = locks.Open(name, false, how);
    return lock ? lock->Wait(0) : LockWait::Failed;
}

TEST(NamedLocks, GateAndInstanceLockAnswerAsTheGuardAsks) {
    LockDir dir;
    NamedLocks first(dir.path), second(dir.path);

    // The first copy's gate is newly made; a copy testing at the same moment finds it made.
    LockOpened how = LockOpened::Failed;
    std::unique_ptr<NamedLock> gate = first.Open("Vreko.OneInstance.CriticalSection", true, how);
    ASSERT_NE(gate, nullptr);
    EXPECT_EQ(how, LockOpened::Created);
    std::unique_ptr<NamedLock> otherGate = second.Open("Vreko.OneInstance.CriticalSection", true, how);
    EXPECT_NE(otherGate, nullptr);
    EXPECT_EQ(how, LockOpened::Existed);
    otherGate.reset();

    std::unique_ptr<NamedLock> inst, inst2;
    EXPECT_EQ(TakeNow(first, "Vreko.OneInstance.Default", inst), LockWait::Taken);
    gate->Release();
    gate.reset();

    // A later copy: the gate is free again, the instance lock is held.
    gate = second.Open("Vreko.OneInstance.CriticalSection", true, how);
    EXPECT_EQ(how, LockOpened::Created);
    EXPECT_EQ(TakeNow(second, "Vreko.OneInstance.Default", inst2), LockWait::TimedOut);
    gate.reset();

    // Once the running copy lets go, the next wait takes it.
    inst->Release();
    EXPECT_EQ(inst2->Wait(0), LockWait::Taken);
    EXPECT_EQ(inst->Wait(0), LockWait::TimedOut);
    // Closing the lock lets go of it as well.
    inst2.reset();
    EXPECT_EQ(inst->Wait(0), LockWait::Taken);
}

TEST(NamedLocks, ACopyThatDiedLeavesTheLockFree) {
    LockDir dir;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        NamedLocks locks(dir.path);
        std::unique_ptr<NamedLock> lock;
        _exit(TakeNow(locks, "Vreko.OneInstance.Default", lock) == LockWait::Taken ? 0 : 1);  // dies holding it
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    NamedLocks next(dir.path);
    std::unique_ptr<NamedLock> lock;
    EXPECT_EQ(TakeNow(next, "Vreko.OneInstance.Default", lock), LockWait::Taken);
}

// Sets or clears an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
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

// A copy of the program, run as user, that takes the lock named name and holds it until it is
// destroyed: the copy that started first.
class RunningCopy {
public:
    RunningCopy(const settings_test::TestUser& user, const std::string& name) {
        int toCopy[2], fromCopy[2];
        if (pipe(toCopy) != 0 || pipe(fromCopy) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(toCopy[1]);
            close(fromCopy[0]);
            if (setgroups(0, nullptr) != 0 || setgid(user.gid()) != 0 || setuid(user.uid()) != 0) _exit(3);
            NamedLocks locks(LockFolder());
            std::unique_ptr<NamedLock> lock;
            const char answer = TakeNow(locks, name, lock) == LockWait::Taken ? 'y' : 'n';
            if (write(fromCopy[1], &answer, 1) != 1) _exit(4);
            char c;
            while (read(toCopy[0], &c, 1) < 0) {
            }  // until told to end
            _exit(0);
        }
        close(toCopy[0]);
        close(fromCopy[1]);
        end_ = toCopy[1];
        char answer = 'n';
        ran_ = read(fromCopy[0], &answer, 1) == 1 && answer == 'y';
        close(fromCopy[0]);
    }
    ~RunningCopy() {
        if (end_ >= 0) close(end_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool Ran() const { return ran_; }

private:
    pid_t pid_ = -1;
    int end_ = -1;
    bool ran_ = false;
};

TEST(NamedLocks, EveryCopyOfAUserFindsOnePlaceHoweverAndWheneverItStarts) {
    // A copy from a desktop session, one from cron without XDG_RUNTIME_DIR, one from a script
    // with another HOME, XDG_STATE_HOME and TMPDIR: the place comes from the user's number alone.
    const std::string expected = "/tmp/vreko-" + std::to_string(geteuid());
    LockDir dir;
    struct Environment {
        const char* runtime;
        const char* home;
        const char* state;
        const char* tmp;
    };
    const std::string elsewhere = dir.path + "/elsewhere";
    for (const Environment& env : {Environment{dir.path.c_str(), "/home/someone", nullptr, nullptr},
                                   Environment{nullptr, nullptr, nullptr, nullptr},
                                   Environment{nullptr, elsewhere.c_str(), elsewhere.c_str(), elsewhere.c_str()}}) {
        ScopedEnv r("XDG_RUNTIME_DIR", env.runtime), h("HOME", env.home), x("XDG_STATE_HOME", env.state),
            t("TMPDIR", env.tmp);
        EXPECT_EQ(LockFolder(), expected);
    }
    EXPECT_EQ(LockFolder("/var/tmp/"), "/var/tmp/vreko-" + std::to_string(geteuid()));

    // A user without a home folder, started before the login manager made its runtime folder
    // and again after: both copies use the same place, so the later one sees the first.
    settings_test::TestUser user;
    if (!user.Made()) GTEST_SKIP() << "making a user needs root";
    const std::string runtime = "/run/user/" + std::to_string(user.uid());
    ASSERT_FALSE(std::filesystem::exists(runtime));
    const std::string name = "Vreko.OneInstance.Default";
    {
        RunningCopy first(user, name);
        EXPECT_TRUE(first.Ran()) << "a user without a home folder gets no lock";
        std::filesystem::create_directories("/run/user");
        ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
        ASSERT_EQ(chown(runtime.c_str(), user.uid(), user.gid()), 0);
        user.Run([&] {
            NamedLocks later(LockFolder());
            std::unique_ptr<NamedLock> lock;
            EXPECT_EQ(TakeNow(later, name, lock), LockWait::TimedOut) << "both copies would run; " << later.Problem();
        });
    }
    std::filesystem::remove(runtime);
    EXPECT_EQ(ModeOf(user.LockFolder()), 0700u);
}

TEST(NamedLocks, TheFolderIsTheUsersAloneAndAnythingElseInItsPlaceIsNamed) {
    LockDir dir;
    const std::string shared = dir.path + "/tmp";  // as the system's /tmp
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string folder = LockFolder(shared);
    EXPECT_EQ(folder, shared + "/vreko-" + std::to_string(geteuid()));

    {
        NamedLocks locks(folder);
        LockOpened how = LockOpened::Failed;
        const std::unique_ptr<NamedLock> gate = locks.Open("Vreko.OneInstance.CriticalSection", true, how);
        EXPECT_NE(gate, nullptr);
        EXPECT_EQ(how, LockOpened::Created);
        EXPECT_EQ(locks.Problem(), "");
        EXPECT_EQ(ModeOf(folder), 0700u);
        EXPECT_EQ(locks.Open("../escape", false, how), nullptr);  // names never leave the folder
        EXPECT_EQ(how, LockOpened::Failed);
        // While a copy runs, a cleaner of the temporary folder, which takes the folder's lock
        // before it ages anything in it, leaves it alone.
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }

    // What the lock folder must not be; each refusal names it and says what is wrong.
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* says;
    };
    const std::string target = dir.path + "/target";
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    const Case cases[] = {
        {"open to others",
         [&] {
             EXPECT_EQ(mkdir(folder.c_str(), 0700), 0);
             EXPECT_EQ(chmod(folder.c_str(), 0755), 0);
         },
         "open to other users (mode 0755)"},
        {"a link to a private folder", [&] { EXPECT_EQ(symlink(target.c_str(), folder.c_str()), 0); },
         "is a link made by "},
        {"a file", [&] { std::ofstream(folder) << "taken\n"; }, "is a file made by "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder);
        c.make();
        NamedLocks locks(folder);
        LockOpened how = LockOpened::Created;
        EXPECT_EQ(locks.Open("Vreko.OneInstance.CriticalSection", true, how), nullptr);
        EXPECT_EQ(how, LockOpened::Failed);
        EXPECT_NE(locks.Problem().find("Its lock files belong in " + folder + ", a folder of this user alone, but "),
                  std::string::npos)
            << locks.Problem();
        EXPECT_NE(locks.Problem().find(c.says), std::string::npos) << locks.Problem();
    }
    EXPECT_TRUE(std::filesystem::is_empty(target)) << "a lock file was made through the link";

    // A temporary folder that anyone may write to without the sticky bit would let anyone move
    // the user's folder away.
    std::filesystem::remove_all(folder);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    NamedLocks unsticky(folder);
    LockOpened how = LockOpened::Created;
    EXPECT_EQ(unsticky.Open("Vreko.OneInstance.CriticalSection", true, how), nullptr);
    EXPECT_NE(unsticky.Problem().find(shared + ", which holds it, is open to other users without the sticky bit"),
              std::string::npos)
        << unsticky.Problem();
}

TEST(NamedLocks, AnotherUserWhoTakesThePlaceFirstIsNamed) {
    // Another user makes the user's lock folder, a link or a file at its name before the user
    // ever starts: the user gets no lock and is told who did it; nothing of the other user is
    // used or changed.
    settings_test::TestUser user, other;
    if (!user.Made() || !other.Made()) GTEST_SKIP() << "making users needs root";
    LockDir dir;
    const std::string shared = dir.path + "/tmp";
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    const std::string folder = shared + "/vreko-" + std::to_string(user.uid());
    enum class Planted { Folder, OpenFolder, Link, File };
    for (Planted planted : {Planted::Folder, Planted::OpenFolder, Planted::Link, Planted::File}) {
        SCOPED_TRACE(int(planted));
        other.Run([&] {
            if (planted == Planted::Folder) {
                ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            } else if (planted == Planted::OpenFolder) {
                ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
                ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
            } else if (planted == Planted::Link) {
                ASSERT_EQ(symlink("/tmp", folder.c_str()), 0);
            } else {
                std::ofstream(folder) << "taken\n";
            }
        });
        user.Run([&] {
            NamedLocks locks(LockFolder(shared));
            LockOpened how = LockOpened::Created;
            EXPECT_EQ(locks.Open("Vreko.OneInstance.CriticalSection", true, how), nullptr);
            EXPECT_NE(locks.Problem().find(folder), std::string::npos) << locks.Problem();
            EXPECT_NE(locks.Problem().find(other.name()), std::string::npos) << locks.Problem();
        });
        struct stat st {};
        ASSERT_EQ(lstat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, other.uid());
        if (S_ISDIR(st.st_mode)) {
            EXPECT_TRUE(std::filesystem::is_empty(folder));
        }
        std::filesystem::remove_all(folder);
    }
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
    NamedLocks first(dir.path, DisplayScope(":0")), sameDisplay(dir.path, DisplayScope(":0.0")),
        otherDisplay(dir.path, DisplayScope(":1"));
    const std::string name = "Vreko.OneInstance.Default";
    std::unique_ptr<NamedLock> a, b, c;
    EXPECT_EQ(TakeNow(first, name, a), LockWait::Taken);
    EXPECT_EQ(TakeNow(sameDisplay, name, b), LockWait::TimedOut);
    EXPECT_EQ(TakeNow(otherDisplay, name, c), LockWait::Taken);
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/" + name + "@:0"));
}

}  // namespace
}  // namespace vreko::posix
