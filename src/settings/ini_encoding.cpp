#include "settings/ini_encoding.h"

#include <cstdint>

namespace vreko {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The character of valid UTF-8 at s[pos], its length in len; nothing for an invalid sequence
// (overlong forms, surrogates and values past U+10FFFF included).
std::optional<char32_t> NextUtf8(std::string_view s, std::size_t pos, std::size_t& len) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[pos + i]); };
    const unsigned char lead = b(0);
    char32_t c = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        len = 1;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        len = 2, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        len = 3, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        len = 4, c = lead & 0x07, min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + len > s.size()) return std::nullopt;
    for (std::size_t i = 1; i < len; ++i) {
        if ((b(i) & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (b(i) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return c;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t i) {
        return char16_t(static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(unit(i + 1)) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    if (bytes.size() % 2 != 0) AppendUtf8(out, kReplacement);
    return out;
}

std::optional<std::string> Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    const auto put = [&out](char32_t u) {
        out += char(u & 0xFF);
        out += char(u >> 8);
    };
    for (std::size_t pos = 0, len = 0; pos < text.size(); pos += len) {
        const std::optional<char32_t> c = NextUtf8(text, pos, len);
        if (!c) return std::nullopt;
        if (*c < 0x10000) {
            put(*c);
        } else {
            put(0xD800 + ((*c - 0x10000) >> 10));
            put(0xDC00 + ((*c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
    for (std::size_t pos = 0, len = 0; pos < s.size(); pos += len) {
        if (!NextUtf8(s, pos, len)) return false;
    }
    return true;
}

IniEncoding DetectIniEncoding(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) return IniEncoding::Utf8Bom;
    if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) return IniEncoding::Utf16Le;
    bool beyondAscii = false;
    for (const char c : bytes) beyondAscii = beyondAscii || static_cast<unsigned char>(c) >= 0x80;
    return beyondAscii && IsValidUtf8(bytes) ? IniEncoding::Utf8 : IniEncoding::Ansi;
}

std::string DecodeIni(std::string_view bytes, IniEncoding encoding, const AnsiCodePage& ansi) {
    switch (encoding) {
        case IniEncoding::Utf8:
        case IniEncoding::Utf8Bom: return std::string(bytes);
        case IniEncoding::Utf16Le: return Utf16LeToUtf8(bytes);
        case IniEncoding::Ansi: break;
    }
    return ansi.ToUtf8(bytes);
}

std::optional<std::string> EncodeIni(std::string_view text, IniEncoding encoding, const AnsiCodePage& ansi) {
    switch (encoding) {
        case IniEncoding::Utf8:
        case IniEncoding::Utf8Bom: return std::string(text);  // bytes that are no UTF-8 stay as they were
        case IniEncoding::Utf16Le: return Utf8ToUtf16Le(text);
        case IniEncoding::Ansi: break;
    }
    return ansi.FromUtf8(text);
}

}  // namespace vreko
