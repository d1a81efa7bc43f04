// The encodings a settings file may come in, as editors save it: UTF-8 with or without a byte
// order mark, UTF-16 (little-endian) with one, or the system's 8-bit code page. The program
// works on the text in UTF-8 and writes it back in the file's own encoding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vreko {

enum class IniEncoding {
    Ansi,     // the system's 8-bit code page; also a file of ASCII alone
    Utf8,     // valid UTF-8 with at least one character beyond ASCII, no byte order mark
    Utf8Bom,  // starts with the UTF-8 byte order mark EF BB BF
    Utf16Le,  // starts with the UTF-16 little-endian byte order mark FF FE
};

// The system's 8-bit code page, where the system has one.
class AnsiCodePage {
public:
    virtual ~AnsiCodePage() = default;
    // The text in UTF-8.
    virtual std::string ToUtf8(std::string_view ansi) const = 0;
    // The UTF-8 text in the code page; nothing when a character has no place in it.
    virtual std::optional<std::string> FromUtf8(std::string_view utf8) const = 0;
};

// Which encoding the bytes of a file are in: a byte order mark tells, else valid UTF-8 that
// goes beyond ASCII is UTF-8, and anything else is the code page.
IniEncoding DetectIniEncoding(std::string_view bytes);

// The bytes as UTF-8 text. A byte order mark stays at the start, as UTF-8's (which the INI
// text rules skip); UTF-16 that is not valid (a lone surrogate, an odd last byte) gives
// U+FFFD in its place.
std::string DecodeIni(std::string_view bytes, IniEncoding encoding, const AnsiCodePage& ansi);

// The UTF-8 text as bytes of the encoding; nothing when the text cannot be written in it.
std::optional<std::string> EncodeIni(std::string_view text, IniEncoding encoding, const AnsiCodePage& ansi);

bool IsValidUtf8(std::string_view s);

}  // namespace vreko
