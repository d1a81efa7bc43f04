// POSIX only: runs a settings test with the rights of an ordinary user.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "test_settings_util.h"

namespace vreko::settings_test {

// Runs body with the rights of an ordinary user, so that a read-only folder is read-only
// (root writes anywhere): as root, in a child process that drops to the user "nobody", inside
// dir opened to everyone. The child's failures fail the test.
inline void AsOrdinaryUser(const TempDir& dir, const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    ::chmod(dir.path().c_str(), 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed as an ordinary user (see the child's report above)";
}

}  // namespace vreko::settings_test
