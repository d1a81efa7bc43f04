// The settings file against another user of the same machine: commands are taken only from a
// file that nobody but the user (or root) can have written, nothing is written into any other,
// and a redo file is replayed only when it is the user's own. Each case makes two users of its
// own, the user and the other one, and needs root for that.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/ini_file.h"
#include "platform/posix/settings_file.h"
#include "settings/settings.h"
#include "test_posix_user.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using posix::IniFile;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::TestUser;
using settings_test::WriteAll;
namespace fs = std::filesystem;

// A settings file whose commands are those of who; without FontSize when incomplete, so that
// a start would write that key into it.
std::string SettingsOf(const std::string& who, bool complete = true) {
    return "[Timer]\nTimePause=33\nPositionTop=0\nPositionLeft=0\nPositionCenter=1\nTest=1\n"
           "[AppStart]\nFileName1=/usr/local/bin/" +
           who + "-warning\nParam1=" + who +
           "\n"
           "FileName2=/usr/local/bin/" +
           who + "-action\nParam2=" + who +
           "\n"
           "[Text]\nFontName=DejaVu Sans\n" +
           (complete ? "FontSize=20\n" : "");
}

// Writes text to path with the given mode (whatever the umask), as the calling user.
void MakeFile(const std::string& path, const std::string& text, mode_t mode) {
    WriteAll(path, text);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

// Makes a folder owned by uid with the given mode.
void MakeFolder(const fs::path& path, uid_t uid, gid_t gid, mode_t mode) {
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
    ASSERT_EQ(::chown(path.c_str(), uid, gid), 0) << path;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

// Two users of their own and a folder that both may enter; skips the test without root.
struct TwoUsers : ::testing::Test {
    void SetUp() override {
        if (!user.Made() || !other.Made()) GTEST_SKIP() << "making users needs root";
    }
    // A start of the program as the user with the settings file at path.
    void Start(const std::string& path,
               const std::function<void(const LoadedSettings&, const std::optional<std::string>&)>& check) {
        user.Run([&] {
            IniFile ini(path);
            LoadedSettings s;
            const std::optional<std::string> error = LoadSettings(ini, posix::DefaultSettings(), 96, s);
            check(s, error);
        });
    }
    // A start that refuses the commands of the file at path, tells why in words that hold says,
    // and writes nothing: neither into the file nor through it.
    void ExpectRefused(const std::string& path, const std::string& says) {
        const std::string before = ReadAll(path);
        Start(path, [&](const LoadedSettings& s, const std::optional<std::string>& error) {
            EXPECT_EQ(error, std::nullopt);
            EXPECT_EQ(s.FileName1, "");
            EXPECT_EQ(s.Param1, "");
            EXPECT_EQ(s.FileName2, "");
            EXPECT_EQ(s.Param2, "");
            EXPECT_NE(s.notice.find(says), std::string::npos) << s.notice;
            EXPECT_NE(s.notice.find("No command is launched from " + path), std::string::npos) << s.notice;
            EXPECT_EQ(s.TimePause, 33) << "the other settings still apply";
            EXPECT_TRUE(s.TestMode);
        });
        EXPECT_EQ(ReadAll(path), before) << "written into";
    }
    // A start that takes the user's own commands from the file at path and tells nothing.
    void ExpectOwn(const std::string& path) {
        Start(path, [&](const LoadedSettings& s, const std::optional<std::string>& error) {
            EXPECT_EQ(error, std::nullopt);
            EXPECT_TRUE(s.complete);
            EXPECT_EQ(s.FileName1, "/usr/local/bin/" + user.name() + "-warning");
            EXPECT_EQ(s.FileName2, "/usr/local/bin/" + user.name() + "-action");
            EXPECT_EQ(s.notice, "");
        });
    }
    // A folder of fs's root that both users may enter, with the given owner and mode.
    fs::path Folder(const std::string& name, const TestUser* owner, mode_t mode) {
        const fs::path path = dir.path() / name;
        MakeFolder(path, owner ? owner->uid() : 0, owner ? owner->gid() : 0, mode);
        return path;
    }

    TestUser user, other;
    TempDir dir;
};

TEST_F(TwoUsers, APlantedRedoFileIsNeverReplayed) {
    // A portable copy in a shared sticky folder with the user's own file: the other user cannot
    // change that file, but can put a redo file beside it that names it, with a process id of
    // 0 so that no writer seems alive, and commands of their own.
    const fs::path shared = Folder("shared", nullptr, 01777);
    const std::string path = (shared / "Vreko.INI").string();
    const std::string redo = (shared / ".Vreko.INI.redo").string();
    user.Run([&] { MakeFile(path, SettingsOf(user.name()), 0644); });
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const std::string header = "vreko-redo 0 " + std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + "\n";
    other.Run([&] { MakeFile(redo, header + SettingsOf(other.name()), 0644); });

    for (int start = 0; start < 2; ++start) {  // at every start, as the planted file stays
        Start(path, [&](const LoadedSettings& s, const std::optional<std::string>& error) {
            EXPECT_EQ(error, std::nullopt);
            EXPECT_EQ(s.FileName2, "/usr/local/bin/" + user.name() + "-action") << "the user's own file still works";
            EXPECT_EQ(s.notice, redo + " was left by another user (" + other.name() + ") and is ignored.");
        });
        EXPECT_EQ(ReadAll(path), SettingsOf(user.name()));
        EXPECT_TRUE(fs::exists(redo));
    }

    // Nor is a redo file of the user's own that no writer of the program made (process id 0),
    // or one that others may write: the first is removed, the second left and named.
    ASSERT_EQ(::unlink(redo.c_str()), 0);
    user.Run([&] { MakeFile(redo, header + SettingsOf("zero"), 0600); });
    ExpectOwn(path);
    EXPECT_EQ(ReadAll(path), SettingsOf(user.name()));
    EXPECT_FALSE(fs::exists(redo));
    user.Run([&] { MakeFile(redo, header + SettingsOf("open"), 0666); });
    Start(path, [&](const LoadedSettings& s, const std::optional<std::string>&) {
        EXPECT_EQ(s.notice, redo + " is writable by other users (mode 0666) and is ignored.");
    });
    EXPECT_EQ(ReadAll(path), SettingsOf(user.name()));
}

TEST_F(TwoUsers, AFileOrFolderThatAnotherUserCanWriteGivesNoCommand) {
    // The user's own file with mode 0666, rewritten by the other user.
    const fs::path open = Folder("open-file", &user, 0755);
    const std::string openFile = (open / "Vreko.INI").string();
    user.Run([&] { MakeFile(openFile, SettingsOf(user.name()), 0666); });
    other.Run([&] { WriteAll(openFile, SettingsOf(other.name(), false)); });
    ExpectRefused(openFile, openFile + " is writable by other users (mode 0666).");

    // The config folder open to everyone (0777), the file replaced by the other user's.
    const fs::path config = Folder("config-vreko", &user, 0777);
    const std::string replaced = (config / "Vreko.INI").string();
    user.Run([&] { MakeFile(replaced, SettingsOf(user.name()), 0644); });
    other.Run([&] {
        ASSERT_EQ(::unlink(replaced.c_str()), 0);
        MakeFile(replaced, SettingsOf(other.name(), false), 0644);
    });
    ExpectRefused(replaced, replaced + " lies in " + config.string() + ", which other users can write to (mode 0777).");

    // A file of the other user in the user's own folder closed to everyone else.
    const fs::path closed = Folder("closed", &user, 0700);
    const std::string foreign = (closed / "Vreko.INI").string();
    MakeFile(foreign, SettingsOf(other.name(), false), 0644);
    ASSERT_EQ(::chown(foreign.c_str(), other.uid(), other.gid()), 0);
    ExpectRefused(foreign, foreign + " belongs to another user (" + other.name() + ").");

    // A file in a folder of the other user.
    const fs::path theirs = Folder("theirs", &other, 0755);
    const std::string inTheirs = (theirs / "Vreko.INI").string();
    other.Run([&] { MakeFile(inTheirs, SettingsOf(other.name(), false), 0644); });
    ExpectRefused(inTheirs, " lies in " + theirs.string() + ", which belongs to another user (" + other.name() + ").");
}

TEST_F(TwoUsers, AFilePlantedBesideAPortableCopyDoesNotWinUntold) {
    // The program in a shared folder without a settings file beside it: the user's own file in
    // the config folder is used, until the other user puts one beside the program.
    const fs::path shared = Folder("opt", nullptr, 01777);
    const fs::path config = Folder("config", &user, 0700);
    const std::string own = (config / "vreko" / "Vreko.INI").string();
    const std::string program = (shared / "vreko").string();
    const std::string planted = (shared / "Vreko.INI").string();
    user.Run([&] {
        ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
        ASSERT_EQ(posix::SettingsFilePath(program), own);
        MakeFile(own, SettingsOf(user.name()), 0600);
    });
    ExpectOwn(own);
    other.Run([&] { MakeFile(planted, SettingsOf(other.name(), false), 0644); });
    user.Run([&] {
        ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
        EXPECT_EQ(posix::SettingsFilePath(program), planted);
    });
    ExpectRefused(planted, planted + " lies in " + shared.string() +
                               ", which other users can write to (mode 1777), and it is not yours (it belongs to " +
                               other.name() + ").");
}

TEST_F(TwoUsers, LinksAreJudgedByEveryFolderOnTheWay) {
    // A link that the other user put in an open folder, to a file of the user's: the file is
    // neither taken as settings nor written to.
    const fs::path open = Folder("open", nullptr, 0777);
    const fs::path home = Folder("home", &user, 0755);
    const std::string notes = (home / "notes.txt").string();
    user.Run([&] { MakeFile(notes, "my notes\n", 0644); });
    const std::string link = (open / "Vreko.INI").string();
    other.Run([&] { ASSERT_EQ(::symlink(notes.c_str(), link.c_str()), 0); });
    Start(link, [&](const LoadedSettings& s, const std::optional<std::string>&) {
        EXPECT_NE(s.notice.find(link + " lies in " + open.string() + ", which other users can write to (mode 0777)."),
                  std::string::npos)
            << s.notice;
    });
    EXPECT_EQ(ReadAll(notes), "my notes\n");

    // The user's own link to a file of the user's in an open folder: the file could be replaced.
    const std::string target = (open / "target.ini").string();
    user.Run([&] { MakeFile(target, SettingsOf(user.name()), 0644); });
    const std::string ownLink = (home / "Vreko.INI").string();
    user.Run([&] { ASSERT_EQ(::symlink(target.c_str(), ownLink.c_str()), 0); });
    ExpectRefused(ownLink, target + " lies in " + open.string() + ", which other users can write to (mode 0777).");

    // Links of the user's own from folder to folder of the user's: the file is taken as it is.
    const fs::path dotfiles = Folder("dotfiles", &user, 0700);
    const std::string kept = (dotfiles / "vreko.ini").string();
    user.Run([&] {
        MakeFile(kept, SettingsOf(user.name()), 0600);
        ASSERT_EQ(::unlink(ownLink.c_str()), 0);
        ASSERT_EQ(::symlink("../dotfiles/vreko.ini", ownLink.c_str()), 0);
    });
    ExpectOwn(ownLink);
}

TEST_F(TwoUsers, TheUsersOwnFilesInTheirUsualModesWork) {
    struct Case {
        const char* what;
        mode_t folderMode, fileMode;
        const TestUser* fileOwner;  // null: root
    };
    const Case cases[] = {
        {"0600 in 0700", 0700, 0600, &user},
        {"0644 in 0755", 0755, 0644, &user},
        {"0644 in 0700", 0700, 0644, &user},
        {"0600 in 0755", 0755, 0600, &user},
        {"root's 0644 in the user's 0755", 0755, 0644, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = Folder("case" + std::to_string(n++), &user, c.folderMode);
        const std::string path = (folder / "Vreko.INI").string();
        MakeFile(path, SettingsOf(user.name(), c.fileOwner == nullptr), c.fileMode);
        if (c.fileOwner) {
            ASSERT_EQ(::chown(path.c_str(), c.fileOwner->uid(), c.fileOwner->gid()), 0);
        }
        ExpectOwn(path);
        // The missing key was written into the user's file, the mode kept; root's was complete.
        EXPECT_EQ(ReadAll(path),
                  c.fileOwner ? SettingsOf(user.name(), false) + "FontSize=90\n" : SettingsOf(user.name()));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.fileMode);
    }

    // A file made at the first start is the user's own at the next, whatever the umask; so is a
    // file in a sticky folder open to everyone.
    for (const char* name : {"first", "sticky"}) {
        SCOPED_TRACE(name);
        const fs::path folder = Folder(name, name[0] == 's' ? nullptr : &user, name[0] == 's' ? 01777 : 0700);
        const std::string path = (folder / "Vreko.INI").string();
        user.Run([&] {
            ::umask(002);
            for (int start = 0; start < 2; ++start) {
                IniFile ini(path);
                LoadedSettings s;
                EXPECT_EQ(LoadSettings(ini, posix::DefaultSettings(), 96, s), std::nullopt);
                EXPECT_EQ(s.notice, "");
                EXPECT_EQ(s.FileName2, posix::DefaultSettings().FileName2);
            }
            struct stat st {};
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0644u);
        });
    }
}

}  // namespace
}  // namespace vreko
