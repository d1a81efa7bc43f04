// The INI reader and writer on a real file: a value written is read back, nothing else of the
// file changes, and writing the same value again changes nothing at all.
//
// Input: the file's text, then optionally a NUL and the section, a NUL and the key, a NUL and
// the value to write. Without them the first start's first write is made: Timer, TimePause, 10.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_file.h"
#include "platform/posix/ini_file.h"

namespace {

using vreko::fuzz::Fail;
using vreko::fuzz::Trim;

// What a read gives for a key that is not there: no value read from a file can hold a line break.
constexpr std::string_view kAbsent = "\n(absent)";

// Whether the names and the value can stand in a line of their own, as the writer promises to
// store them: names not empty once trimmed, no line break anywhere, no "]" in the section, no
// "=" in the key, and a key that does not read as a comment or a header.
bool Storable(std::string_view section, std::string_view key, std::string_view value) {
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
std::string_view Removed(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return before.substr(prefix, before.size() - prefix - suffix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vreko::fuzz::ScratchFile file;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

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
    const std::string_view text = parts[0], section = parts[1], key = parts[2], value = parts[3];
    const std::string about = std::string(section) + " / " + std::string(key) + " = " + std::string(value);

    file.Write(text);
    vreko::posix::IniFile ini(file.Path());
    const auto names = vreko::fuzz::NamesIn(text);
    std::vector<std::string> valuesBefore;
    for (const auto& [s, k] : names) valuesBefore.push_back(ini.ReadString(s, k, kAbsent));

    const bool written = ini.WriteString(section, key, value);
    const std::string after = file.Read();
    if (!written) {
        if (Storable(section, key, value)) Fail("a storable value was refused", about, text, after);
        if (after != text) Fail("a refused write changed the file", about, text, after);
        return 0;
    }
    if (!Storable(section, key, value)) Fail("a value that cannot be stored was accepted", about, text, after);

    const std::string back = ini.ReadString(section, key, kAbsent);
    if (back != value.substr(0, vreko::posix::IniFile::kMaxValueLength))
        Fail("the value written does not read back", about + "  read: " + back, text, after);

    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [s, k] = names[i];
        if (vreko::fuzz::SameName(s, section) && vreko::fuzz::SameName(k, key)) continue;
        if (ini.ReadString(s, k, kAbsent) != valuesBefore[i])
            Fail("another key changed its value", about + "  other key: " + s + " / " + k, text, after);
    }

    // Whatever the write took away lies inside one line: no line break of the file is touched.
    if (Removed(text, after).find_first_of("\r\n") != std::string_view::npos)
        Fail("the write changed bytes outside its line", about, text, after);

    if (!ini.WriteString(section, key, value)) Fail("writing the stored value again failed", about, text, after);
    const std::string again = file.Read();
    if (again != after) Fail("writing the stored value again changed the file", about, after, again);
    return 0;
}
