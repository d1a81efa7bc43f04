// POSIX only: runs a test with the rights of an ordinary user, or of users made for the test.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "test_settings_util.h"

namespace vreko::settings_test {

// Runs body in a child process with the rights of the user uid (group gid, no other groups);
// the child's failures fail the test. Needs root.
inline void AsUser(uid_t uid, gid_t gid, const std::function<void()>& body) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(3);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed as uid " << uid << " (see the child's report above)";
}

// Runs body with the rights of an ordinary user, so that a read-only folder is read-only
// (root writes anywhere): as root, in a child process that drops to the user "nobody", inside
// dir opened to everyone. The child's failures fail the test.
inline void AsOrdinaryUser(const TempDir& dir, const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    ::chmod(dir.path().c_str(), 0777);
    AsUser(65534, 65534, body);
}

// A user account of its own for one test, as a system without a home for it has: made with
// useradd without a home folder, removed with userdel (and its group and its lock folder in
// /tmp with it) when the test ends. Only root can make one: check Made().
class TestUser {
public:
    TestUser() {
        if (::geteuid() != 0) return;
        static std::atomic<int> counter{0};
        // Other tests (and other processes) change the account files at the same time: useradd
        // and userdel then fail for a moment, and are tried again.
        for (int attempt = 0; attempt < 200 && uid_ == 0; ++attempt) {
            name_ = "vrk" + std::to_string(::getpid()) + "x" + std::to_string(counter++);
            const std::string add =
                "useradd -M -d /nonexistent/" + name_ + " -s /usr/sbin/nologin " + name_ + " >/dev/null 2>&1";
            if (std::system(add.c_str()) == 0) {
                if (const passwd* pw = ::getpwnam(name_.c_str())) {
                    uid_ = pw->pw_uid;
                    gid_ = pw->pw_gid;
                }
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        // A folder left by an earlier account with the same number is not this user's.
        if (uid_ != 0) std::filesystem::remove_all(LockFolder());
    }
    ~TestUser() {
        if (uid_ == 0) return;
        std::error_code ec;
        std::filesystem::remove_all(LockFolder(), ec);
        const std::string del = "userdel " + name_ + " >/dev/null 2>&1";
        for (int attempt = 0; attempt < 600 && std::system(del.c_str()) != 0 && ::getpwnam(name_.c_str()); ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::getpwnam(name_.c_str())) ADD_FAILURE() << "the user " << name_ << " made for the test is left behind";
    }
    TestUser(const TestUser&) = delete;
    TestUser& operator=(const TestUser&) = delete;

    bool Made() const { return uid_ != 0; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }
    const std::string& name() const { return name_; }
    // Runs body as this user (see AsUser).
    void Run(const std::function<void()>& body) const { AsUser(uid_, gid_, body); }
    // The user's lock folder in /tmp.
    std::string LockFolder() const { return "/tmp/vreko-" + std::to_string(uid_); }

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

}  // namespace vreko::settings_test
