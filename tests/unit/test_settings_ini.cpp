// The rules of the settings file that every system's store follows, on the file itself:
// reading the files other editors leave, and writing that keeps every other byte.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ini_store_under_test.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using IniFile = settings_test::StoreUnderTest;
using settings_test::kNewFileLineBreak;
using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

// Files as other editors leave them: CRLF, a byte order mark, comments, odd spacing and case,
// quotes, duplicates, keys outside any section.
const std::string kForeign =
    "\xEF\xBB\xBF"
    "stray=outside\r\n"
    "; a comment\r\n"
    "[ timer ]\r\n"
    "  TIMEPAUSE \t=\t 25  \r\n"
    "#Test=1\r\n"
    ";PositionTop=9\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Mixed=\"x'\r\n"
    "Lone=\"\r\n"
    "Empty=\r\n"
    "Equals = a=b=c\r\n"
    "junk line without equals\r\n"
    "TimePause=99\r\n"
    "\r\n"
    "[AppStart]\r\n"
    "FileName1=first\r\n"
    "[TIMER]\r\n"
    "OnlyInSecond=1\r\n"
    "[appstart]\r\n"
    "FileName1=second\r\n";

TEST(IniFileRead, ForeignFile) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    WriteAll(ini.Path(), kForeign);

    EXPECT_EQ(ini.ReadString("Timer", "TimePause", "d"), "25");  // first of duplicates, trimmed, any case
    EXPECT_EQ(ini.ReadString("timer", "Quoted", "d"), "  spaced  ");
    EXPECT_EQ(ini.ReadString("Timer", "Single", "d"), "x");
    EXPECT_EQ(ini.ReadString("Timer", "Mixed", "d"), "\"x'");
    EXPECT_EQ(ini.ReadString("Timer", "Lone", "d"), "\"");
    EXPECT_EQ(ini.ReadString("Timer", "Empty", "d"), "");
    EXPECT_EQ(ini.ReadString("Timer", "Equals", "d"), "a=b=c");
    EXPECT_EQ(ini.ReadString("Timer", "Test", "d"), "d");          // commented out
    EXPECT_EQ(ini.ReadString("Timer", "PositionTop", "d"), "d");   // commented out
    EXPECT_EQ(ini.ReadString("Timer", "stray", "d"), "d");         // before any section
    EXPECT_EQ(ini.ReadString("Timer", "OnlyInSecond", "d"), "d");  // only the first section counts
    EXPECT_EQ(ini.ReadString("AppStart", "FileName1", "d"), "first");
    EXPECT_EQ(ini.ReadString("Text", "FontName", "d"), "d");
}

TEST(IniFileRead, MissingFileAndLineEnds) {
    TempDir dir;
    IniFile missing(dir.File("none.ini"));
    EXPECT_EQ(missing.ReadString("Timer", "TimePause", "Error"), "Error");
    IniFile inMissingFolder(dir.File("no-folder/none.ini"));
    EXPECT_EQ(inMissingFolder.ReadString("Timer", "TimePause", "Error"), "Error");

    // A last line without a line break, also one ending in a lone carriage return.
    IniFile ini(dir.File("a.ini"));
    WriteAll(ini.Path(), "[Timer]\nA=1\nB= 2 ");
    EXPECT_EQ(ini.ReadString("Timer", "B", "d"), "2");
    WriteAll(ini.Path(), "[Timer]\r\nA=1\r\nB=2\r");
    EXPECT_EQ(ini.ReadString("Timer", "B", "d"), "2");
    EXPECT_EQ(ini.ReadString("Timer", "A", "d"), "1");
}

// Line ends read as the Windows profile functions read them (checked under Wine): a line
// ends at "\n", "\r\n" or a lone "\r", wherever it stands in the file.
TEST(IniFileRead, EveryKindOfLineEnd) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    struct Case {
        std::string file;
        std::vector<std::pair<std::string, std::string>> expected;  // "section/key", value
    };
    const std::vector<Case> cases = {
        {"[Timer]\rA=1\rB=2\r[Text]\rF=x\r", {{"Timer/A", "1"}, {"Timer/B", "2"}, {"Text/F", "x"}}},
        {"[Timer]\rA=1\rB=2", {{"Timer/A", "1"}, {"Timer/B", "2"}}},
        {"[Timer]\r\nA=1\nB=2\rC=3\r\nD=4\rE=5",
         {{"Timer/A", "1"}, {"Timer/B", "2"}, {"Timer/C", "3"}, {"Timer/D", "4"}, {"Timer/E", "5"}}},
        {"[Timer]\rA=1\rB=2\n[Text]\nF=x\n", {{"Timer/A", "1"}, {"Timer/B", "2"}, {"Text/F", "x"}}},
        {"[Timer]\nA=1\rB=2\rC=3", {{"Timer/A", "1"}, {"Timer/B", "2"}, {"Timer/C", "3"}}},
        {"[Timer]\nTest=1\r", {{"Timer/Test", "1"}}},
        {"[Timer]\nA=1\r\r\nB=2 \r \n", {{"Timer/A", "1"}, {"Timer/B", "2"}}},
        {"[Timer]\n\rA=1\n\rB=2\n\r", {{"Timer/A", "1"}, {"Timer/B", "2"}}},
        {"\xEF\xBB\xBF[Timer]\rA=1\r", {{"Timer/A", "1"}}},
    };
    for (const Case& c : cases) {
        WriteAll(ini.Path(), c.file);
        for (const auto& [name, value] : c.expected) {
            const auto slash = name.find('/');
            EXPECT_EQ(ini.ReadString(name.substr(0, slash), name.substr(slash + 1), "d"), value)
                << name << " in " << ::testing::PrintToString(c.file);
        }
    }
}

TEST(IniFileRead, LongValueIsCut) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    const std::string longValue(3000, 'v');
    WriteAll(ini.Path(), "[S]\nK=" + longValue + "\nQ=\"" + longValue + "\"\n");
    EXPECT_EQ(ini.ReadString("S", "K", "d"), std::string(IniFile::kMaxValueLength, 'v'));
    EXPECT_EQ(ini.ReadString("S", "Q", "d"), std::string(IniFile::kMaxValueLength, 'v'));
}

TEST(IniFileWrite, CreatesFileAndSections) {
    TempDir dir;
    IniFile ini(dir.File("new.ini"));
    ASSERT_TRUE(ini.WriteString("Timer", "A", "1"));
    ASSERT_TRUE(ini.WriteString("Text", "F", "x y"));
    ASSERT_TRUE(ini.WriteString("timer", "B", "2"));  // joins the existing section, under its own spelling
    const std::string& nl = kNewFileLineBreak;
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]" + nl + "A=1" + nl + "B=2" + nl + nl + "[Text]" + nl + "F=x y" + nl);
}

TEST(IniFileWrite, ForeignFileKeptByteForByte) {
    TempDir dir;
    IniFile ini(dir.File("Vreko.INI"));
    WriteAll(ini.Path(), kForeign);

    // In place: the key's own spelling and spacing stay, the value and its trailing blanks change.
    ASSERT_TRUE(ini.WriteString("Timer", "TimePause", "7"));
    std::string expected = kForeign;
    const std::string oldLine = "  TIMEPAUSE \t=\t 25  \r\n";
    expected.replace(expected.find(oldLine), oldLine.size(), "  TIMEPAUSE \t=\t 7\r\n");
    EXPECT_EQ(ReadAll(ini.Path()), expected);

    // New key: after the section's last entry (here the duplicate key), before the blank line,
    // with the file's CRLF.
    ASSERT_TRUE(ini.WriteString("TIMER", "Test", "0"));
    expected.insert(expected.find("\r\n\r\n[AppStart]") + 2, "Test=0\r\n");
    EXPECT_EQ(ReadAll(ini.Path()), expected);

    // A key that is only in a later duplicate section goes to the first one, where reading looks.
    ASSERT_TRUE(ini.WriteString("Timer", "OnlyInSecond", "2"));
    expected.insert(expected.find("Test=0\r\n") + 8, "OnlyInSecond=2\r\n");
    EXPECT_EQ(ReadAll(ini.Path()), expected);
    EXPECT_EQ(ini.ReadString("Timer", "OnlyInSecond", "d"), "2");

    // The duplicate key further down is left alone.
    ASSERT_TRUE(ini.WriteString("AppStart", "FileName1", "new"));
    expected.replace(expected.find("FileName1=first"), 15, "FileName1=new");
    EXPECT_EQ(ReadAll(ini.Path()), expected);

    // New section at the end, after a blank line, with CRLF; the byte order mark stays.
    ASSERT_TRUE(ini.WriteString("Text", "FontName", "Arial"));
    expected += "\r\n[Text]\r\nFontName=Arial\r\n";
    EXPECT_EQ(ReadAll(ini.Path()), expected);
}

TEST(IniFileWrite, AppendsAfterLastEntryNotTrailingLines) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    WriteAll(ini.Path(), "[Timer]\nA=1\n\n; about the next section\n\n[Text]\n; only a comment\n");
    ASSERT_TRUE(ini.WriteString("Timer", "B", "2"));
    ASSERT_TRUE(ini.WriteString("Text", "F", "x"));  // a section with no entry: right after its header
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nA=1\nB=2\n\n; about the next section\n\n[Text]\nF=x\n; only a comment\n");
}

TEST(IniFileWrite, FileWithoutFinalLineBreak) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    WriteAll(ini.Path(), "[Timer]\r\nA=1");
    ASSERT_TRUE(ini.WriteString("Timer", "B", "2"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\r\nA=1\r\nB=2\r\n");

    WriteAll(ini.Path(), "[Timer]\nA=1");
    ASSERT_TRUE(ini.WriteString("Text", "F", "x"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nA=1\n\n[Text]\nF=x\n");

    WriteAll(ini.Path(), "[Timer]\nA=1");
    ASSERT_TRUE(ini.WriteString("Timer", "A", "2"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nA=2");
}

TEST(IniFileWrite, NewLinesNeverJoinALineEndedByACarriageReturn) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));

    // A lone CR at the end of a file of LF lines: the added key gets a line of its own, and
    // the CR becomes a whole CRLF so that the file also shows that way in a viewer.
    WriteAll(ini.Path(), "[Timer]\nTest=1\r");
    ASSERT_TRUE(ini.WriteString("Timer", "TimePause", "10"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nTest=1\r\nTimePause=10\n");
    EXPECT_EQ(ini.ReadString("Timer", "Test", "d"), "1");
    EXPECT_EQ(ini.ReadString("Timer", "TimePause", "d"), "10");
    ASSERT_TRUE(ini.WriteString("Timer", "TimePause", "10"));  // now found: nothing to write
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nTest=1\r\nTimePause=10\n");

    // A file of CR lines (old Mac editors) is written with CR lines.
    WriteAll(ini.Path(), "[Timer]\rA=1\r");
    ASSERT_TRUE(ini.WriteString("Timer", "B", "2"));
    ASSERT_TRUE(ini.WriteString("AppStart", "F", "x"));
    ASSERT_TRUE(ini.WriteString("timer", "A", "3"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\rA=3\rB=2\r\r[AppStart]\rF=x\r");
    WriteAll(ini.Path(), "[Timer]\rA=1");
    ASSERT_TRUE(ini.WriteString("Timer", "B", "2"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\rA=1\rB=2\r");

    // Mixed line ends: every other line keeps its own break.
    WriteAll(ini.Path(), "[Timer]\r\nA=1\rB=2\n[Text]\nF=x");
    ASSERT_TRUE(ini.WriteString("Timer", "C", "3"));
    ASSERT_TRUE(ini.WriteString("Text", "G", "y"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\r\nA=1\rB=2\nC=3\r\n[Text]\nF=x\r\nG=y\r\n");
    for (const auto& [key, value] : {std::pair{"A", "1"}, {"B", "2"}, {"C", "3"}}) {
        EXPECT_EQ(ini.ReadString("Timer", key, "d"), value);
    }
}

TEST(IniFileWrite, SameValueLeavesFileUntouched) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    WriteAll(ini.Path(), "[Timer]\nA = 1 \nQ=\"quoted\"\n");
    ASSERT_TRUE(ini.WriteString("timer", "a", "1"));
    ASSERT_TRUE(ini.WriteString("Timer", "Q", "quoted"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nA = 1 \nQ=\"quoted\"\n");
    ASSERT_TRUE(ini.WriteString("Timer", "A", "2"));
    EXPECT_EQ(ReadAll(ini.Path()), "[Timer]\nA = 2\nQ=\"quoted\"\n");
}

TEST(IniFileWrite, ValuesReadBackExactly) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    for (const std::string value : {"", " lead", "trail\t", "\"both\"", "'single'", "\"", "a \"b\" c", "x=y"}) {
        ASSERT_TRUE(ini.WriteString("S", "K", value)) << value;
        EXPECT_EQ(ini.ReadString("S", "K", "d"), value);
    }
    const std::string before = ReadAll(ini.Path());
    // What would break the line structure is refused and changes nothing.
    EXPECT_FALSE(ini.WriteString("S", "K", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("S", "K", "cr\r"));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "1"));
    EXPECT_FALSE(ini.WriteString("S", ";K", "1"));
    EXPECT_FALSE(ini.WriteString("S]", "K", "1"));
    EXPECT_FALSE(ini.WriteString("", "K", "1"));
    EXPECT_FALSE(ini.WriteString("S", " ", "1"));
    EXPECT_EQ(ReadAll(ini.Path()), before);
}

// The only file in folder is the one named.
void ExpectOnlyFile(const fs::path& folder, const std::string& name) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{name});
}

TEST(IniFileWrite, ReadOnlyFileIsNotReplaced) {
    TempDir dir;
    // A file without write permission (the read-only attribute on Windows) in a writable
    // folder: not written, also by root.
    const std::string path = dir.File("a.ini");
    WriteAll(path, "[S]\nK=old\n");
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(path, readOnly);
    IniFile ini(path);
    EXPECT_FALSE(ini.WriteString("S", "K", "new"));
    EXPECT_FALSE(ini.WriteString("S", "Other", "1"));
    EXPECT_EQ(ReadAll(path), "[S]\nK=old\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none);
    ExpectOnlyFile(dir.path(), "a.ini");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(ini.WriteString("S", "K", "new"));
    EXPECT_EQ(ReadAll(path), "[S]\nK=new\n");
}

TEST(IniFileWrite, FailureReportedAndOldFileKept) {
    TempDir dir;
    IniFile inMissingFolder(dir.File("no-folder/a.ini"));
    EXPECT_FALSE(inMissingFolder.WriteString("S", "K", "v"));
    EXPECT_FALSE(fs::exists(dir.path() / "no-folder"));

    fs::create_directory(dir.path() / "folder.ini");
    IniFile isFolder(dir.File("folder.ini"));
    EXPECT_EQ(isFolder.ReadString("S", "K", "d"), "d");
    EXPECT_FALSE(isFolder.WriteString("S", "K", "v"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder.ini"));
}

}  // namespace
}  // namespace vreko
