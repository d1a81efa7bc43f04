// The INI text rules that every settings store shares, on texts in memory.
#include <optional>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "settings/ini_text.h"

namespace vreko {
namespace {

TEST(IniText, FindsTheFirstKeyOfTheFirstSectionWhateverTheCaseAndLineEnds) {
    const std::string text = "\xEF\xBB\xBF; comment\r[timer]\r\n  timepause = ' 7 ' \r\nTimePause=8\n[Timer]\nTest=1\n";
    EXPECT_EQ(IniFindValue(text, "Timer", "TimePause"), " 7 ");
    EXPECT_EQ(IniFindValue(text, " TIMER ", "TimePause"), " 7 ");
    EXPECT_EQ(IniFindValue(text, "Timer", "Test"), std::nullopt);  // only the first section counts
    EXPECT_EQ(IniFindValue(text, "Other", "TimePause"), std::nullopt);
    EXPECT_EQ(IniFindValue("[S]\nK=\n", "S", "K"), "");
    EXPECT_EQ(IniFindValue("[S]\nK=" + std::string(3000, 'v'), "S", "K")->size(), kIniMaxValueLength);
}

TEST(IniText, EditsKeepEveryOtherByteAndTheTextsOwnLineEnds) {
    const std::string crlf = "[A]\r\nK = old ; x\r\n\r\n[B]\r\nL=1";
    EXPECT_EQ(IniWithValue(crlf, "a", "k", "new", "\n"), "[A]\r\nK = new\r\n\r\n[B]\r\nL=1");
    EXPECT_EQ(IniWithValue(crlf, "A", "M", "2", "\n"), "[A]\r\nK = old ; x\r\nM=2\r\n\r\n[B]\r\nL=1");
    EXPECT_EQ(IniWithValue(crlf, "B", "M", "2", "\n"), crlf + "\r\nM=2\r\n");
    EXPECT_EQ(IniWithValue(crlf, "C", "M", " padded ", "\n"), crlf + "\r\n\r\n[C]\r\nM=\" padded \"\r\n");
    // A text without any line break yet takes the store's own.
    EXPECT_EQ(IniWithValue("", "Timer", "TimePause", "10", "\r\n"), "[Timer]\r\nTimePause=10\r\n");
    EXPECT_EQ(IniWithValue("", "Timer", "TimePause", "10", "\n"), "[Timer]\nTimePause=10\n");
    // The value already stored leaves the text as it was, byte for byte.
    EXPECT_EQ(IniWithValue("[A]\nK='v'\n", "A", "K", "v", "\n"), "[A]\nK='v'\n");
}

TEST(IniText, RefusesWhatCannotStandInALineOfItsOwn) {
    for (const auto& [section, key, value] : {std::tuple<std::string, std::string, std::string>{"", "K", "v"},
                                              {"S", " ", "v"},
                                              {"S]", "K", "v"},
                                              {"S", "K=", "v"},
                                              {"S", ";K", "v"},
                                              {"S", "#K", "v"},
                                              {"S", " #K", "v"},
                                              {"S", "[K", "v"},
                                              {"S", "K", "a\nb"},
                                              {"S\r", "K", "v"}}) {
        EXPECT_FALSE(IniCanStore(section, key, value)) << section << "/" << key << "=" << value;
        EXPECT_EQ(IniWithValue("[S]\nK=v\n", section, key, value, "\n"), std::nullopt) << section << "/" << key;
    }
    EXPECT_TRUE(IniCanStore(" S ", " K ", " v "));
}

}  // namespace
}  // namespace vreko
