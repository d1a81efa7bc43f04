// The Linux settings file's own rules beside those of every system (test_settings_ini.cpp):
// links, permission bits, other users and inodes.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/ini_file.h"
#include "test_posix_user.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using posix::IniFile;
using settings_test::AsOrdinaryUser;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

ino_t Inode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

TEST(IniFileWrite, SameValueLeavesTheFileItself) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    WriteAll(ini.Path(), "[Timer]\nA = 1 \nQ=\"quoted\"\n");
    const ino_t before = Inode(ini.Path());
    ASSERT_TRUE(ini.WriteString("timer", "a", "1"));
    ASSERT_TRUE(ini.WriteString("Timer", "Q", "quoted"));
    EXPECT_EQ(Inode(ini.Path()), before);  // not even rewritten
    ASSERT_TRUE(ini.WriteString("Timer", "A", "2"));
    EXPECT_NE(Inode(ini.Path()), before);  // a real change replaces the file
}

TEST(IniFileWrite, KeepsSymlinkAndPermissions) {
    TempDir dir;
    fs::create_directory(dir.path() / "real");
    const std::string target = dir.File("real/Vreko.INI");
    WriteAll(target, "[Timer]\nA=1\n");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("real/Vreko.INI", dir.path() / "link.ini");  // relative link

    IniFile ini(dir.File("link.ini"));
    ASSERT_TRUE(ini.WriteString("Timer", "A", "2"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
    EXPECT_EQ(ReadAll(target), "[Timer]\nA=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // No temporary file is left behind, in either folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "real"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    // A dangling link gets its target created.
    fs::create_symlink("real/later.ini", dir.path() / "dangling.ini");
    IniFile later(dir.File("dangling.ini"));
    ASSERT_TRUE(later.WriteString("S", "K", "v"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling.ini"));
    EXPECT_EQ(ReadAll(dir.File("real/later.ini")), "[S]\nK=v\n");
}

TEST(IniFileWrite, ReadOnlyFileKeepsItsModeAndOtherUsersFilesAreNotWritten) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteAll(path, "[S]\nK=old\n");
    ::chmod(path.c_str(), 0444);
    IniFile ini(path);
    EXPECT_FALSE(ini.WriteString("S", "K", "new"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);

    // An ordinary user may not write another user's file, although the folder would let the
    // user replace it.
    const std::string foreign = dir.File("foreign.ini");
    WriteAll(foreign, "[S]\nK=old\n");
    ::chmod(foreign.c_str(), 0644);
    if (::geteuid() == 0) {
        AsOrdinaryUser(dir, [&] {
            IniFile other(foreign);
            EXPECT_FALSE(other.WriteString("S", "K", "new"));
            EXPECT_EQ(ReadAll(foreign), "[S]\nK=old\n");
        });
        struct stat fst {};
        ASSERT_EQ(::stat(foreign.c_str(), &fst), 0);
        EXPECT_EQ(fst.st_uid, 0u);
    }
}

TEST(IniFileWrite, HardLinksStayOneFile) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const std::string other = dir.File("b.ini");
    WriteAll(path, "[S]\nK=old\n");
    ::chmod(path.c_str(), 0640);
    fs::create_hard_link(path, other);
    const ino_t inode = Inode(path);

    IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("S", "K", "a much longer value than before"));
    EXPECT_EQ(ReadAll(other), "[S]\nK=a much longer value than before\n");
    ASSERT_TRUE(ini.WriteString("S", "K", "short"));  // the file shrinks, no old tail stays
    EXPECT_EQ(ReadAll(other), "[S]\nK=short\n");
    EXPECT_EQ(ReadAll(path), "[S]\nK=short\n");
    EXPECT_EQ(Inode(path), inode);
    EXPECT_EQ(Inode(other), inode);
    EXPECT_EQ(fs::hard_link_count(path), 2u);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(IniFileWrite, LinkLoopsAndFoldersOfOthersAreNotWritten) {
    TempDir dir;
    fs::create_symlink("loop2.ini", dir.path() / "loop1.ini");
    fs::create_symlink("loop1.ini", dir.path() / "loop2.ini");
    IniFile loop(dir.File("loop1.ini"));
    EXPECT_FALSE(loop.WriteString("S", "K", "v"));

    AsOrdinaryUser(dir, [&] {
        fs::create_directory(dir.path() / "ro");
        const std::string path = dir.File("ro/a.ini");
        WriteAll(path, "[S]\nK=old\n");
        ::chmod((dir.path() / "ro").c_str(), 0555);
        IniFile readOnly(path);
        EXPECT_FALSE(readOnly.WriteString("S", "K", "new"));
        EXPECT_EQ(ReadAll(path), "[S]\nK=old\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "ro"), fs::directory_iterator()), 1);
    });
}

}  // namespace
}  // namespace vreko
