// The settings file when several processes use it: copies started at the same moment, and
// writers killed in the middle of a write.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/ini_file.h"
#include "platform/posix/settings_file.h"
#include "settings/settings.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using posix::IniFile;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

// Runs body in n child processes let go at the same moment; the number that returned true.
int RunTogether(int n, const std::function<bool()>& body) {
    int gate[2];
    if (::pipe(gate) != 0) return -1;
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(gate[1]);
            char c;
            while (::read(gate[0], &c, 1) < 0) {
            }  // end of file: the parent has let everyone go
            ::_exit(body() ? 0 : 1);
        }
        if (child > 0) children.push_back(child);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    int succeeded = 0;
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ++succeeded;
    }
    return succeeded;
}

TEST(SettingsProcesses, CopiesStartedTogetherLeaveTheCompleteFile) {
    // What one copy alone writes at its first start.
    TempDir reference;
    IniFile alone(reference.File("Vreko.INI"));
    LoadedSettings s;
    ASSERT_EQ(LoadSettings(alone, posix::DefaultSettings(), 96, s), std::nullopt);
    const std::string complete = ReadAll(alone.Path());

    constexpr int kTrials = 50;
    constexpr int kCopies = 10;
    int damaged = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        TempDir dir;
        const std::string path = dir.File("Vreko.INI");
        const int ok = RunTogether(kCopies, [&] {
            IniFile ini(path);
            LoadedSettings loaded;
            return LoadSettings(ini, posix::DefaultSettings(), 96, loaded) == std::nullopt && loaded.complete;
        });
        EXPECT_EQ(ok, kCopies) << "trial " << trial;
        if (ReadAll(path) != complete) ++damaged;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
    EXPECT_EQ(damaged, 0) << "of " << kTrials << " trials of " << kCopies << " simultaneous first starts";
}

// The temporary files of the settings file in folder.
std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(".Vreko.INI.tmp.", 0) == 0) names.push_back(name);
    }
    return names;
}

TEST(SettingsProcesses, WritersKilledInMidWriteLeaveNothingAfterTheNextStart) {
    TempDir dir;
    const std::string path = dir.File("Vreko.INI");
    std::mt19937 random(7);  // the same kill points in every run
    for (int trial = 0; trial < 60; ++trial) {
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            IniFile ini(path);
            for (unsigned i = 0;; ++i) ini.WriteString("Timer", "TimePause", std::to_string(i % 1000));
        }
        // Kill it at some point of its writes.
        ::usleep(useconds_t(100 + random() % 4000));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
    }
    const std::size_t killedMidWrite = Temporaries(dir.path()).size();

    // Besides: the file of a writer that has ended, which the kills may not have produced,
    // and that of one still running, which must stay.
    const pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string endedTemp = ".Vreko.INI.tmp." + std::to_string(ended) + ".0";
    WriteAll(dir.File(endedTemp), "[Timer]\nTime");
    const pid_t running = ::fork();
    ASSERT_GE(running, 0);
    if (running == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::string runningTemp = ".Vreko.INI.tmp." + std::to_string(running) + ".3";
    WriteAll(dir.File(runningTemp), "[Timer]\nTime");
    WriteAll(dir.File(".Vreko.INI.tmp.notes"), "not a temporary file of ours");

    IniFile ini(path);
    LoadedSettings s;
    const auto error = LoadSettings(ini, posix::DefaultSettings(), 96, s);
    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);

    EXPECT_EQ(error, std::nullopt);
    EXPECT_TRUE(s.complete);
    std::vector<std::string> left = Temporaries(dir.path());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{runningTemp, ".Vreko.INI.tmp.notes"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected) << killedMidWrite << " left by the killed writers";
}

}  // namespace
}  // namespace vreko
