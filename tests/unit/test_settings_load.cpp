// Loading the settings at start on each system's own settings file (the Linux one, or the
// Windows one under Wine): files as users edit them, failures, and the values they give.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "ini_store_under_test.h"
#include "settings/settings.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using IniFile = settings_test::StoreUnderTest;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

// Defaults as a system has them; the commands are any texts.
const SettingsDefaults kDefaults{"10", "warn", "-w", "act", "-a", "Arial Black", "90", "0", "0", "1", "0"};

// A file that sets every key, as a user might have edited it.
std::string FullFile(const std::string& timerExtra = "") {
    return "[Timer]\n"
           "TimePause=30\n"
           "PositionTop=50\n"
           "PositionLeft=100\n"
           "PositionCenter=0\n"
           "Test=1\n" +
           timerExtra +
           "[AppStart]\n"
           "FileName1=/bin/one\n"
           "Param1=-a\n"
           "FileName2=/bin/two\n"
           "Param2=-b\n"
           "[Text]\n"
           "FontName=DejaVu Sans\n"
           "FontSize=12\n";
}

TEST(LoadSettings, UserFileReadAsWrittenAndLeftAlone) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    // Another editor's file: CRLF, other letter case, comments, spacing, quotes, keys in
    // another order, an unknown key, a duplicate section.
    const std::string file =
        "; my timer\r\n"
        "[APPSTART]\r\n"
        "param2 = \"-h now\"\r\n"
        "FileName2=/sbin/shutdown\r\n"
        "Param1=\r\n"
        "FileName1=\r\n"
        "Unknown=keep me\r\n"
        "\r\n"
        "[timer]\r\n"
        "\tTimePause\t=\t$1E\r\n"
        "Test=1\r\n"
        "PositionCenter = 0\r\n"
        "PositionLeft=-20\r\n"
        "PositionTop=+7\r\n"
        "[Text]\r\n"
        "FontSize=72\r\n"
        "FontName='Comic Sans MS'\r\n"
        "[Timer]\r\n"
        "TimePause=1\r\n";
    WriteAll(ini.Path(), file);
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 120, s), std::nullopt);
    EXPECT_EQ(ReadAll(ini.Path()), file);
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.TimePause, 30);
    EXPECT_EQ(s.FileName1, "");
    EXPECT_EQ(s.Param1, "");
    EXPECT_EQ(s.FileName2, "/sbin/shutdown");
    EXPECT_EQ(s.Param2, "-h now");
    EXPECT_EQ(s.FontName, "Comic Sans MS");
    EXPECT_EQ(s.FontHeight, -120);  // 72 points at 120 dpi
    EXPECT_EQ(s.PositionTop, 7);
    EXPECT_EQ(s.PositionLeft, -20);
    EXPECT_FALSE(s.PositionCenter);
    EXPECT_TRUE(s.TestMode);
}

TEST(LoadSettings, ErrorValueIsRewrittenWithDefault) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    WriteAll(ini.Path(), FullFile());
    ASSERT_TRUE(ini.WriteString("Timer", "TimePause", "Error"));
    ASSERT_TRUE(ini.WriteString("Text", "FontName", "Error"));
    ASSERT_TRUE(ini.WriteString("Timer", "Test", "error"));  // other case: a real value, not "missing"
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
    std::string expected = FullFile();
    expected.replace(expected.find("TimePause=30"), 12, "TimePause=10");
    expected.replace(expected.find("FontName=DejaVu Sans"), 20, "FontName=Arial Black");
    expected.replace(expected.find("Test=1"), 6, "Test=error");
    EXPECT_EQ(ReadAll(ini.Path()), expected);
    EXPECT_EQ(s.TimePause, 10);
    EXPECT_EQ(s.FontName, "Arial Black");
    EXPECT_FALSE(s.TestMode);
    EXPECT_TRUE(s.complete);
}

TEST(LoadSettings, StopsAtConversionFailure) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    // PositionTop fails although the window is centred; Test is missing and must stay missing.
    const std::string file =
        "[Timer]\nTimePause=5\nPositionTop=abc\nPositionLeft=9\nPositionCenter=0\n"
        "[AppStart]\nFileName1=a\nParam1=b\nFileName2=c\nParam2=d\n[Text]\nFontName=Mono\nFontSize=10\n";
    WriteAll(ini.Path(), file);
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), "'abc' is not a valid integer value.");
    EXPECT_EQ(ReadAll(ini.Path()), file);
    EXPECT_FALSE(s.complete);
    // Applied before the failure.
    EXPECT_EQ(s.TimePause, 5);
    EXPECT_EQ(s.Param2, "d");
    EXPECT_EQ(s.FontName, "Mono");
    EXPECT_EQ(s.FontHeight, -13);
    // The failed key and those after it keep their start values.
    EXPECT_EQ(s.PositionTop, 0);
    EXPECT_EQ(s.PositionLeft, 0);
    EXPECT_TRUE(s.PositionCenter);
    EXPECT_FALSE(s.TestMode);
}

TEST(LoadSettings, EmptyTimePauseIsAFailureNotTheDefault) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    WriteAll(ini.Path(), "[Timer]\nTimePause=\n");
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), "'' is not a valid integer value.");
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nTimePause=\n");  // nothing after it was completed
    EXPECT_EQ(s.TimePause, 0);
    EXPECT_EQ(s.FileName1, "");
    EXPECT_FALSE(s.complete);
}

TEST(LoadSettings, WriteFailureStopsLoading) {
    TempDir dir;
    // The folder does not exist, so the first missing key cannot be completed.
    IniFile ini(dir.File("gone/Vreko.INI"));
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), "Unable to write to " + ini.Path() + ".");
    EXPECT_FALSE(s.complete);
    EXPECT_EQ(s.TimePause, 0);
    EXPECT_FALSE(fs::exists(dir.path() / "gone"));
}

TEST(LoadSettings, ReadOnlyFileShowsTheWriteFailure) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    const std::string file = "[Timer]\nTimePause=20\n";
    WriteAll(ini.Path(), file);
    fs::permissions(ini.Path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), "Unable to write to " + ini.Path() + ".");
    EXPECT_EQ(ReadAll(ini.Path()), file);
    EXPECT_EQ(s.TimePause, 20);
    EXPECT_EQ(s.FileName1, "");
    EXPECT_FALSE(s.complete);
}

TEST(LoadSettings, FileEndingInALoneCarriageReturnKeepsItsValue) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    WriteAll(ini.Path(), "[Timer]\nTest=1\r");
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
    EXPECT_TRUE(s.TestMode);
    EXPECT_EQ(s.TimePause, 10);
    EXPECT_EQ(ini.ReadString("Timer", "Test", "d"), "1");
    EXPECT_EQ(ini.ReadString("Timer", "TimePause", "d"), "10");

    // The file is complete: the next start writes nothing.
    const std::string after = ReadAll(ini.Path());
    LoadedSettings again;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, again), std::nullopt);
    EXPECT_EQ(ReadAll(ini.Path()), after);
    EXPECT_TRUE(again.TestMode);

    // A file of CR lines is read line by line, not completed as if it were empty.
    const std::string mac =
        "[Timer]\rTimePause=5\rTest=1\r[AppStart]\rFileName1=/bin/one\rParam1=\r"
        "FileName2=\rParam2=\r[Text]\rFontName=Mono\rFontSize=10\r";
    WriteAll(ini.Path(), mac);
    LoadedSettings m;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, m), std::nullopt);
    EXPECT_EQ(m.TimePause, 5);
    EXPECT_EQ(m.FileName1, "/bin/one");
    EXPECT_EQ(m.FileName2, "");
    EXPECT_EQ(m.FontName, "Mono");
    EXPECT_TRUE(m.TestMode);
    // Only the three position keys were missing, added with CR line ends.
    EXPECT_EQ(ReadAll(ini.Path()),
              "[Timer]\rTimePause=5\rTest=1\rPositionTop=0\rPositionLeft=0\rPositionCenter=1\r"
              "[AppStart]\rFileName1=/bin/one\rParam1=\rFileName2=\rParam2=\r"
              "[Text]\rFontName=Mono\rFontSize=10\r");
}

TEST(LoadSettings, FlagsAndFontName) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    struct Case {
        std::string value;
        bool on;
    };
    for (const Case& c : {Case{"1", true}, Case{"01", false}, Case{"yes", false}, Case{"", false}, Case{"0", false},
                          Case{"1.0", false}}) {
        ASSERT_TRUE(ini.WriteString("Timer", "Test", c.value));
        ASSERT_TRUE(ini.WriteString("Timer", "PositionCenter", c.value));
        LoadedSettings s;
        EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
        EXPECT_EQ(s.TestMode, c.on) << "'" << c.value << "'";
        EXPECT_EQ(s.PositionCenter, c.on) << "'" << c.value << "'";
    }

    ASSERT_TRUE(ini.WriteString("Text", "FontName", ""));
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
    EXPECT_EQ(s.FontName, "Arial Black");  // empty: the face stays

    ASSERT_TRUE(ini.WriteString("Text", "FontName", std::string(40, 'F')));
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
    EXPECT_EQ(s.FontName, std::string(31, 'F'));
}

TEST(LoadSettings, FontSizeToPixelHeight) {
    EXPECT_EQ(PointsToPixels(90, 96), 120);
    EXPECT_EQ(PointsToPixels(90, 120), 150);
    EXPECT_EQ(PointsToPixels(10, 96), 13);  // 13.33
    EXPECT_EQ(PointsToPixels(11, 96), 15);  // 14.67
    EXPECT_EQ(PointsToPixels(3, 12), 1);    // 0.5 rounds away from zero
    EXPECT_EQ(PointsToPixels(-3, 12), -1);
    EXPECT_EQ(PointsToPixels(-90, 96), -120);
    EXPECT_EQ(PointsToPixels(0, 96), 0);
    EXPECT_EQ(PointsToPixels(INT32_MAX, 96), INT32_MAX);  // kept in range
    EXPECT_EQ(PointsToPixels(INT32_MIN, 96), -INT32_MAX);

    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    WriteAll(ini.Path(), "[Text]\nFontSize=$7FFFFFFF\n");
    LoadedSettings s;
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
    EXPECT_EQ(s.FontHeight, -INT32_MAX);
    WriteAll(ini.Path(), "[Text]\nFontSize=-90\n");
    EXPECT_EQ(LoadSettings(ini, kDefaults, 96, s), std::nullopt);
    EXPECT_EQ(s.FontHeight, 120);
}

TEST(SettingsPath, BesideTheProgram) {
    // Windows paths: folders end at a backslash, a drive at its colon.
    EXPECT_EQ(SettingsFileBeside("C:\\Tools\\Vreko\\Vreko.exe", "\\:"), "C:\\Tools\\Vreko\\Vreko.INI");
    EXPECT_EQ(SettingsFileBeside("C:Vreko.exe", "\\:"), "C:Vreko.INI");
    // Linux paths: a backslash is part of a name.
    EXPECT_EQ(SettingsFileBeside("/opt/a\\b/vreko", "/"), "/opt/a\\b/Vreko.INI");
    EXPECT_EQ(SettingsFileBeside("vreko", "/"), "Vreko.INI");
}

}  // namespace
}  // namespace vreko
