// What a write to a settings text must do, whether the text lives in a file or in memory: a
// value written reads back, no other key changes, nothing outside the written line changes,
// and writing the same value again changes nothing at all. The checks know the INI rules only
// from this file, not from the code under test.
//
// Input of the INI fuzz targets: the text, then optionally a NUL and the section, a NUL and
// the key, a NUL and the value to write. Without them the first start's first write is made:
// Timer, TimePause, 10.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_file.h"

namespace vreko::fuzz {

// What a read gives for a key that is not there: no value read from a file can hold a line break.
inline constexpr std::string_view kAbsent = "\n(absent)";

struct WriteCase {
    std::string_view text, section, key, value;
};

inline WriteCase SplitWriteCase(std::string_view input) {
    std::string_view parts[4] = {input, "Timer", "TimePause", "10"};
    std::size_t begin = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t nul = input.find('\0', begin);
        if (nul == std::string_view::npos) {
            parts[i] = input.substr(begin);
            break;
        }
        parts[i] = input.substr(begin, nul - begin);
        begin = nul + 1;
        if (i == 2) parts[3] = input.substr(begin);
    }
    return {parts[0], parts[1], parts[2], parts[3]};
}

// Whether the names and the value can stand in a line of their own, as the writer promises to
// store them: names not empty once trimmed, no line break anywhere, no "]" in the section, no
// "=" in the key, and a key that does not read as a comment or a header.
inline bool Storable(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    constexpr std::string_view kBreaks = "\r\n";
    if (section.empty() || key.empty()) return false;
    if (section.find_first_of(kBreaks) != std::string_view::npos || section.find(']') != std::string_view::npos)
        return false;
    if (key.find_first_of(kBreaks) != std::string_view::npos || key.find('=') != std::string_view::npos) return false;
    if (key.front() == ';' || key.front() == '#' || key.front() == '[') return false;
    return value.find_first_of(kBreaks) == std::string_view::npos;
}

// The bytes the write took away: the part of before that after does not share at its ends.
inline std::string_view Removed(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return before.substr(prefix, before.size() - prefix - suffix);
}

// Runs one write case against a store. Store offers: Reset(text) puts the text in place;
// Read(section, key) gives the value or kAbsent; Write(section, key, value) reports success;
// Contents() gives the whole text as it stands.
template <typename Store>
void CheckWrite(Store& store, const WriteCase& c, std::size_t maxValueLength) {
    const std::string about = std::string(c.section) + " / " + std::string(c.key) + " = " + std::string(c.value);
    store.Reset(c.text);
    const auto names = NamesIn(c.text);
    std::vector<std::string> valuesBefore;
    for (const auto& [s, k] : names) valuesBefore.push_back(store.Read(s, k));

    const bool written = store.Write(c.section, c.key, c.value);
    const std::string after = store.Contents();
    if (!written) {
        if (Storable(c.section, c.key, c.value)) Fail("a storable value was refused", about, c.text, after);
        if (after != c.text) Fail("a refused write changed the text", about, c.text, after);
        return;
    }
    if (!Storable(c.section, c.key, c.value)) Fail("a value that cannot be stored was accepted", about, c.text, after);

    const std::string back = store.Read(c.section, c.key);
    if (back != c.value.substr(0, maxValueLength))
        Fail("the value written does not read back", about + "  read: " + back, c.text, after);

    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [s, k] = names[i];
        if (SameName(s, c.section) && SameName(k, c.key)) continue;
        if (store.Read(s, k) != valuesBefore[i])
            Fail("another key changed its value", about + "  other key: " + s + " / " + k, c.text, after);
    }

    // Whatever the write took away lies inside one line: no line break of the text is touched.
    if (Removed(c.text, after).find_first_of("\r\n") != std::string_view::npos)
        Fail("the write changed bytes outside its line", about, c.text, after);

    if (!store.Write(c.section, c.key, c.value)) Fail("writing the stored value again failed", about, c.text, after);
    const std::string again = store.Contents();
    if (again != after) Fail("writing the stored value again changed the text", about, after, again);
}

}  // namespace vreko::fuzz
