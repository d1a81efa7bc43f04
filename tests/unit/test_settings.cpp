#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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
using posix::SettingsFilePath;
using posix::UserSettingsFilePath;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

const std::string nl = "\n";

TEST(LoadSettings, FirstStartCreatesFileWithDefaults) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    const SettingsDefaults d = posix::DefaultSettings();
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, d, 96, s), std::nullopt);

    const std::string commands =
        "FileName1=notify-send\n"
        "Param1=-u critical Vreko \"Switching off in one minute\"\n"
        "FileName2=systemctl\n"
        "Param2=poweroff\n";
    const std::string expected = "[Timer]" + nl + "TimePause=10" + nl + "PositionTop=0" + nl + "PositionLeft=0" + nl +
                                 "PositionCenter=1" + nl + "Test=0" + nl + nl + "[AppStart]" + nl + commands + nl +
                                 "[Text]" + nl + "FontName=Arial Black" + nl + "FontSize=90" + nl;
    EXPECT_EQ(ReadAll(ini.Path()), expected);

    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.TimePause, 10);
    EXPECT_EQ(s.FileName1, d.FileName1);
    EXPECT_EQ(s.Param1, d.Param1);
    EXPECT_EQ(s.FileName2, d.FileName2);
    EXPECT_EQ(s.Param2, d.Param2);
    EXPECT_EQ(s.FontName, "Arial Black");
    EXPECT_EQ(s.FontHeight, -120);
    EXPECT_TRUE(s.PositionCenter);
    EXPECT_FALSE(s.TestMode);

    // The second start finds everything and writes nothing.
    struct stat before {};
    ASSERT_EQ(::stat(ini.Path().c_str(), &before), 0);
    LoadedSettings again;
    EXPECT_EQ(LoadSettings(ini, d, 96, again), std::nullopt);
    struct stat after {};
    ASSERT_EQ(::stat(ini.Path().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadAll(ini.Path()), expected);
    EXPECT_EQ(again.Param1, d.Param1);  // quotes inside the value survive the round trip
}

TEST(LoadSettings, WriteFailureInAFolderTheUserMayNotWrite) {
    TempDir dir;
    AsOrdinaryUser(dir, [&] {
        fs::create_directory(dir.path() / "ro");
        IniFile partial(dir.File("ro/Vreko.INI"));
        const std::string file = "[Timer]\nTimePause=20\n[AppStart]\nFileName1=/bin/one\n";
        WriteAll(partial.Path(), file);
        ::chmod((dir.path() / "ro").c_str(), 0555);
        LoadedSettings p;
        EXPECT_EQ(LoadSettings(partial, posix::DefaultSettings(), 96, p), "Unable to write to " + partial.Path() + ".");
        EXPECT_EQ(ReadAll(partial.Path()), file);
        EXPECT_EQ(p.TimePause, 20);
        EXPECT_EQ(p.FileName1, "/bin/one");
        EXPECT_EQ(p.Param1, "");  // the key whose write failed
        EXPECT_EQ(p.FontName, "Arial Black");
        EXPECT_TRUE(p.PositionCenter);
        EXPECT_FALSE(p.complete);
    });
}

// Sets an environment variable (or removes it, for nullopt) for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SettingsPath, PortableFileBesideTheProgram) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("config"));
    const std::string program = dir.File("bin/vreko");
    fs::create_directory(dir.path() / "bin");
    WriteAll(dir.File("bin/Vreko.INI"), "");
    EXPECT_EQ(SettingsFilePath(program), dir.File("bin/Vreko.INI"));
    EXPECT_FALSE(fs::exists(dir.path() / "config"));
}

TEST(SettingsPath, UserConfigFolder) {
    TempDir dir;
    const std::string program = dir.File("bin/vreko");  // no settings file beside it
    ScopedEnv home("HOME", dir.File("home"));

    {
        ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("xdg"));
        EXPECT_EQ(SettingsFilePath(program), dir.File("xdg/vreko/Vreko.INI"));
        EXPECT_TRUE(fs::is_directory(dir.path() / "xdg/vreko"));
        struct stat st {};
        ASSERT_EQ(::stat(dir.File("xdg/vreko").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    for (const std::optional<std::string>& xdgValue :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("rel/dir")}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", xdgValue);
        EXPECT_EQ(UserSettingsFilePath(), dir.File("home/.config/vreko/Vreko.INI"));
    }
    {
        // Folder creation is separate; the whole path then works for writing.
        ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        const std::string path = SettingsFilePath(program);
        EXPECT_EQ(path, dir.File("home/.config/vreko/Vreko.INI"));
        IniFile ini(path);
        EXPECT_TRUE(ini.WriteString("Timer", "TimePause", "10"));
    }
}

}  // namespace
}  // namespace vreko
