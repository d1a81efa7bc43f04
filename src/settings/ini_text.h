// The text rules of INI files ("[section]" headers and "key=value" lines), on the file's
// contents in memory. Where the file lives and how it is read and written is the business of
// the settings store that uses these rules.
//
// Reading: section and key names match without regard to ASCII letter case; blanks (spaces
// and tabs) around names and values are ignored; a value enclosed in a pair of the same
// quotation marks (" or ') loses them; at most kIniMaxValueLength characters of a value are
// used. Lines whose first non-blank character is ';' or '#' are comments. The first of
// duplicate sections, and within it the first of duplicate keys, is the one that counts. A
// line ends at "\n", "\r\n" or a lone "\r", as in the Windows profile functions.
//
// Editing keeps every other line exactly as it was, with the text's own line endings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreko {

inline constexpr std::size_t kIniMaxValueLength = 2047;

// A settings text whose section headers have been found once, so that any number of lookups
// runs without going through the whole text again: a lookup reads only the lines of its
// section. Besides the text it keeps one number per section header line and nothing for
// other lines, so a text of many blank lines or comments costs no more than its own size.
class IniText {
public:
    // Texts of up to 4 GiB.
    explicit IniText(std::string text = {});

    const std::string& Text() const { return text_; }

    // The value of key in section, or nothing when the section or the key is missing. A key
    // line with nothing after its '=' gives an empty text.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // The text with value stored under section and key: in place of the first occurrence of
    // the key, or after the last entry of the section, or in a new section at the end. New
    // lines end with the text's own line break, or with newNewline when the text has none
    // yet. The text comes back unchanged when the value is stored already, and nothing comes
    // back when the names or the value cannot be stored (IniCanStore).
    std::optional<std::string> WithValue(std::string_view section, std::string_view key, std::string_view value,
                                         std::string_view newNewline) const;

private:
    struct Location;
    Location Locate(std::string_view section, std::string_view key) const;

    std::string text_;
    std::size_t start_ = 0;               // where the first line begins (after a byte order mark)
    std::vector<std::uint32_t> headers_;  // where each section header line begins, in order
};

// The same on a text used once.
std::optional<std::string> IniFindValue(std::string_view text, std::string_view section, std::string_view key);
std::optional<std::string> IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                                        std::string_view value, std::string_view newNewline);

// Whether the names and the value can be stored in a line of their own: no line breaks, no
// '=' in a key, no ']' in a section name, no empty names, and a key that does not read as a
// comment or a header.
bool IniCanStore(std::string_view section, std::string_view key, std::string_view value);

}  // namespace vreko
