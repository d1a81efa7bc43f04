// The encodings of a settings file as editors save it: which one a file is in, and its text
// in UTF-8 and back, byte for byte.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "settings/ini_encoding.h"

namespace vreko {
namespace {

// Latin-1 as the system's code page: every byte one character, U+0000 to U+00FF.
class Latin1 : public AnsiCodePage {
public:
    std::string ToUtf8(std::string_view ansi) const override {
        std::string out;
        for (const char c : ansi) {
            const unsigned char b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += char(0xC0 | (b >> 6));
                out += char(0x80 | (b & 0x3F));
            }
        }
        return out;
    }
    std::optional<std::string> FromUtf8(std::string_view utf8) const override {
        std::string out;
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            const unsigned char b = static_cast<unsigned char>(utf8[i]);
            if (b < 0x80) {
                out += char(b);
            } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size()) {
                out += char(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
            } else {
                return std::nullopt;
            }
        }
        return out;
    }
};

const Latin1 kLatin1;

TEST(IniEncoding, AByteOrderMarkTellsElseValidUtf8BeyondAsciiElseTheCodePage) {
    EXPECT_EQ(DetectIniEncoding("\xEF\xBB\xBF[Timer]\r\n"), IniEncoding::Utf8Bom);
    EXPECT_EQ(DetectIniEncoding("\xFF\xFE[\0T\0"), IniEncoding::Utf16Le);
    EXPECT_EQ(DetectIniEncoding("FileName1=C:\\J\xC3\xBCrgen\\x.exe"), IniEncoding::Utf8);
    EXPECT_EQ(DetectIniEncoding("FileName1=C:\\J\xFCrgen\\x.exe"), IniEncoding::Ansi);  // cp1252 ü
    EXPECT_EQ(DetectIniEncoding("[Timer]\r\nTimePause=10\r\n"), IniEncoding::Ansi);     // ASCII alone
    EXPECT_EQ(DetectIniEncoding(""), IniEncoding::Ansi);
    // Sequences that only look like UTF-8: overlong, a surrogate, cut short, past U+10FFFF.
    for (const char* s : {"\xC0\xAF", "\xED\xA0\x80", "x\xC3", "\xF4\x90\x80\x80"}) {
        EXPECT_EQ(DetectIniEncoding(s), IniEncoding::Ansi) << ::testing::PrintToString(std::string(s));
    }
}

TEST(IniEncoding, EveryEncodingGivesTheSameTextAndBackItsOwnBytes) {
    const std::string text =
        "[AppStart]\r\nParam1=Gr\xC3\xBC\xC3\x9F"
        "e \xF0\x9F\x95\x90\r\n";  // ü ß U+1F550
    std::string utf16 = "\xFF\xFE";
    for (const char16_t u : std::u16string(u"[AppStart]\r\nParam1=Gr\u00fc\u00dfe \U0001F550\r\n")) {
        utf16 += char(u & 0xFF);
        utf16 += char(u >> 8);
    }
    EXPECT_EQ(DecodeIni(utf16, IniEncoding::Utf16Le, kLatin1), "\xEF\xBB\xBF" + text);
    EXPECT_EQ(EncodeIni("\xEF\xBB\xBF" + text, IniEncoding::Utf16Le, kLatin1), utf16);
    EXPECT_EQ(DecodeIni("\xEF\xBB\xBF" + text, IniEncoding::Utf8Bom, kLatin1), "\xEF\xBB\xBF" + text);
    EXPECT_EQ(DecodeIni(text, IniEncoding::Utf8, kLatin1), text);
    EXPECT_EQ(DecodeIni("K=J\xFCrgen", IniEncoding::Ansi, kLatin1), "K=J\xC3\xBCrgen");
    EXPECT_EQ(EncodeIni("K=J\xC3\xBCrgen", IniEncoding::Ansi, kLatin1), "K=J\xFCrgen");
    // What the code page cannot hold is refused, not written as something else.
    EXPECT_EQ(EncodeIni(text, IniEncoding::Ansi, kLatin1), std::nullopt);
    // Bytes of a UTF-8 file that are no UTF-8 stay as they are.
    EXPECT_EQ(EncodeIni("K=\xFF", IniEncoding::Utf8, kLatin1), "K=\xFF");
}

TEST(IniEncoding, BrokenUtf16ReadsWithReplacementsThatDoNotGiveItBack) {
    // A lone high surrogate, and an odd last byte.
    const std::string broken = std::string(
        "\xFF\xFE"
        "A\0\x00\xD8"
        "B\0"
        "C",
        9);
    const std::string text = DecodeIni(broken, IniEncoding::Utf16Le, kLatin1);
    EXPECT_EQ(text,
              "\xEF\xBB\xBF"
              "A\xEF\xBF\xBD"
              "B\xEF\xBF\xBD");
    EXPECT_NE(EncodeIni(text, IniEncoding::Utf16Le, kLatin1), broken);
    EXPECT_EQ(EncodeIni("\xC3", IniEncoding::Utf16Le, kLatin1), std::nullopt);  // no UTF-8
}

}  // namespace
}  // namespace vreko
