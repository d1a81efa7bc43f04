// The Linux settings file against what a user or a system may put in its place, and against
// writers that die: files that are no regular files, huge files, extended attributes, and
// hard links rewritten in place.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/ini_file.h"
#include "platform/posix/settings_file.h"
#include "settings/settings.h"
#include "test_settings_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define VREKO_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VREKO_TEST_SANITIZED 1
#endif
#endif

namespace vreko {
namespace {

using posix::IniFile;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

constexpr bool kSanitized =
#ifdef VREKO_TEST_SANITIZED
    true;
#else
    false;
#endif

// Runs body in a child process that is ended after limitSeconds, and whose memory is limited
// to 1 GiB where that can be set, so that a start that would hang or read without end fails
// the test instead of holding up or exhausting the machine. The child's failures fail the test.
void InChild(unsigned limitSeconds, const std::function<void()>& body) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(limitSeconds);
        if (!kSanitized) {
            const rlimit memory{rlim_t(1) << 30, rlim_t(1) << 30};
            ::setrlimit(RLIMIT_AS, &memory);
        }
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was ended by signal " << WTERMSIG(status)
                                   << (WTERMSIG(status) == SIGALRM ? " (it hung)" : "");
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed in the child (see its report above)";
}

// What a start makes of a settings file that cannot be read: no value from it, no write to
// it, and the box that names it.
void ExpectUnreadable(const std::string& path) {
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Timer", "TimePause", "Error"), "Error");
    EXPECT_FALSE(ini.WriteString("Timer", "TimePause", "10"));
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, posix::DefaultSettings(), 96, s), "Unable to write to " + path + ".");
    EXPECT_FALSE(s.complete);
}

TEST(SettingsFileSafety, OnlyARegularFileOfBoundedSizeIsReadAndNothingWaits) {
    TempDir dir;
    const std::string fifo = dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    InChild(20, [&] { ExpectUnreadable(fifo); });
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";

    // A link to a device that reads without end.
    const std::string zero = dir.File("zero.ini");
    fs::create_symlink("/dev/zero", zero);
    if (!kSanitized) InChild(20, [&] { ExpectUnreadable(zero); });
    EXPECT_TRUE(fs::is_symlink(zero));
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));

    // A file one byte over the limit is not read; one at the limit is.
    const std::string big = dir.File("big.ini");
    WriteAll(big, "[Timer]\nTimePause=7\n");
    ASSERT_EQ(::truncate(big.c_str(), IniFile::kMaxFileSize + 1), 0);
    InChild(60, [&] { ExpectUnreadable(big); });
    EXPECT_EQ(fs::file_size(big), IniFile::kMaxFileSize + 1);
    ASSERT_EQ(::truncate(big.c_str(), IniFile::kMaxFileSize), 0);
    EXPECT_EQ(IniFile(big).ReadString("Timer", "TimePause", "Error"), "7");
}

// The largest amount of memory the process has held at once, in bytes.
long PeakMemory() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

TEST(SettingsFileSafety, MemoryStaysWithinASmallMultipleOfTheFileSize) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers' own bookkeeping makes the figure meaningless";
    // Whole settings followed by 10 MB of blank lines, once complete and once with every key
    // missing from its section but the last, so that the keys are written into the big file.
    constexpr std::size_t kBlankLines = 10u << 20;
    TempDir dir;
    const std::string complete = dir.File("complete.ini"), incomplete = dir.File("incomplete.ini");
    const std::string keys =
        "[Timer]\nTimePause=30\nPositionTop=0\nPositionLeft=0\nPositionCenter=1\nTest=0\n"
        "[AppStart]\nFileName1=a\nParam1=b\nFileName2=c\nParam2=d\n[Text]\nFontName=x\nFontSize=9\n";
    WriteAll(complete, keys + std::string(kBlankLines, '\n'));
    WriteAll(incomplete, "[Text]\nFontName=x\n" + std::string(kBlankLines, '\n'));
    for (const std::string& path : {complete, incomplete}) {
        SCOPED_TRACE(path);
        InChild(120, [&] {
            const long before = PeakMemory();
            IniFile ini(path);
            LoadedSettings s;
            EXPECT_EQ(LoadSettings(ini, posix::DefaultSettings(), 96, s), std::nullopt);
            EXPECT_TRUE(s.complete);
            const long grown = PeakMemory() - before;
            EXPECT_LT(grown, 4 * long(kBlankLines)) << "peak memory grew by " << grown / 1024 / 1024 << " MiB";
        });
    }
    // The keys written went to their sections, and the blank lines stayed.
    const SettingsDefaults d = posix::DefaultSettings();
    EXPECT_TRUE(ReadAll(incomplete) ==
                "[Text]\nFontName=x\nFontSize=90\n" + std::string(kBlankLines, '\n') +
                    "[Timer]\nTimePause=10\nPositionTop=0\nPositionLeft=0\nPositionCenter=1\nTest=0\n\n"
                    "[AppStart]\nFileName1=" +
                    d.FileName1 + "\nParam1=" + d.Param1 + "\nFileName2=" + d.FileName2 + "\nParam2=" + d.Param2 +
                    "\n");
}

// A raw POSIX ACL as the kernel stores it: owner rw, user 65534 r, group r, mask r, others nothing.
std::string SampleAcl() {
    std::string acl;
    auto add = [&acl](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) acl += char((v >> (8 * i)) & 0xFF);
    };
    add(2, 4);  // version
    const std::uint32_t none = 0xFFFFFFFF;
    for (auto [tag, perm, id] :
         {std::tuple{0x01u, 6u, none}, {0x02u, 4u, 65534u}, {0x04u, 4u, none}, {0x10u, 4u, none}, {0x20u, 0u, none}}) {
        add(tag, 2);
        add(perm, 2);
        add(id, 4);
    }
    return acl;
}

std::optional<std::string> Attribute(const std::string& path, const char* name) {
    std::string value(256, '\0');
    const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (n < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(n));
    return value;
}

TEST(SettingsFileSafety, ReplacingTheFileKeepsItsExtendedAttributesAndAcl) {
    TempDir dir;
    const std::string path = dir.File("Vreko.INI");
    WriteAll(path, "[Timer]\nTimePause=10\n");
    ::chmod(path.c_str(), 0640);
    if (::setxattr(path.c_str(), "user.origin", "synced", 6, 0) != 0)
        GTEST_SKIP() << "no extended attributes on this file system: " << std::strerror(errno);
    const std::string acl = SampleAcl();
    const bool withAcl = ::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("Timer", "Test", "0"));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written over
    EXPECT_EQ(Attribute(path, "user.origin"), "synced");
    if (withAcl) {
        EXPECT_EQ(Attribute(path, "system.posix_acl_access"), acl);
    }
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

// The files in folder, by name.
std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SettingsFileSafety, AHardLinkedFileRewrittenInPlaceSurvivesAKillAtEveryStep) {
    struct Change {
        const char* what;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
    };
    const std::vector<Change> changes = {
        {"a key added at the end", "[Text]\nFontName=Arial Black\n", "Text", "FontSize", "90"},
        {"a key added in the middle", "[Timer]\nTimePause=10\n\n[Text]\nFontSize=90\n", "Timer", "Test", "0"},
        {"a value replaced", "[Timer]\nTimePause=Error\nTest=0\n", "Timer", "TimePause", "10"},
        {"a value shortened", "[Timer]\nTimePause=1234567\nTest=0\n", "Timer", "TimePause", "5"},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        // The file as the write makes it.
        std::string changed;
        {
            TempDir scratch;
            IniFile expected(scratch.File("Vreko.INI"));
            WriteAll(expected.Path(), change.before);
            ASSERT_TRUE(expected.WriteString(change.section, change.key, change.value));
            changed = ReadAll(expected.Path());
        }
        TempDir dir;
        const std::string path = dir.File("Vreko.INI"), other = dir.File("other-name.ini");
        std::string after;
        int completedAt = -1;
        for (int units = 0; units < 10000 && completedAt < 0; ++units) {
            WriteAll(path, change.before);
            if (!fs::exists(other)) fs::create_hard_link(path, other);
            const pid_t writer = ::fork();
            ASSERT_GE(writer, 0);
            if (writer == 0) {
                posix::EndProcessAfterForTesting(units);
                ::_exit(IniFile(path).WriteString(change.section, change.key, change.value) ? 0 : 1);
            }
            int status = 0;
            ::waitpid(writer, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            if (WEXITSTATUS(status) == 0) {
                completedAt = units;
                after = ReadAll(path);
            } else {
                ASSERT_EQ(WEXITSTATUS(status), posix::kEndedForTestingExitCode) << "the write failed";
            }
            // The next start: whatever the writer left is made whole, and is either file.
            IniFile next(path);
            { const auto lock = next.LockForUpdate(); }
            const std::string now = ReadAll(path);
            EXPECT_TRUE(now == change.before || now == changed)
                << "killed after " << units << " units: " << ::testing::PrintToString(now);
            EXPECT_EQ(ReadAll(other), now) << "the names were split";
            EXPECT_EQ(fs::hard_link_count(path), 2u);
            EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"Vreko.INI", "other-name.ini"}))
                << "left behind after " << units << " units";
        }
        EXPECT_GT(completedAt, 0) << "the write was never done";
        EXPECT_EQ(after, changed);
    }
}

}  // namespace
}  // namespace vreko
