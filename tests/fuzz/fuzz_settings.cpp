// The loading of the settings at start, on whatever file the user left: nothing of the file is
// lost, every missing key is completed (up to a key that does not convert, where loading
// stops), what was loaded is what the file holds, and a second start writes nothing.
//
// Input: the settings file's text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_file.h"
#include "settings/int_conversion.h"
#include "platform/posix/ini_file.h"
#include "platform/posix/settings_file.h"
#include "settings/settings.h"

namespace {

using vreko::fuzz::Fail;

// What a read gives for a key that is not there: no value read from a file can hold a line break.
constexpr std::string_view kAbsent = "\n(absent)";

struct Key {
    const char* section;
    const char* key;
    const std::string vreko::SettingsDefaults::*defaultText;
    bool integer;
};

// The keys in the order they are loaded.
const Key kKeys[] = {
    {"Timer", "TimePause", &vreko::SettingsDefaults::TimePause, true},
    {"AppStart", "FileName1", &vreko::SettingsDefaults::FileName1, false},
    {"AppStart", "Param1", &vreko::SettingsDefaults::Param1, false},
    {"AppStart", "FileName2", &vreko::SettingsDefaults::FileName2, false},
    {"AppStart", "Param2", &vreko::SettingsDefaults::Param2, false},
    {"Text", "FontName", &vreko::SettingsDefaults::FontName, false},
    {"Text", "FontSize", &vreko::SettingsDefaults::FontSize, true},
    {"Timer", "PositionTop", &vreko::SettingsDefaults::PositionTop, true},
    {"Timer", "PositionLeft", &vreko::SettingsDefaults::PositionLeft, true},
    {"Timer", "PositionCenter", &vreko::SettingsDefaults::PositionCenter, false},
    {"Timer", "Test", &vreko::SettingsDefaults::Test, false},
};

bool IsLoadedKey(std::string_view section, std::string_view key) {
    for (const Key& k : kKeys)
        if (vreko::fuzz::SameName(section, k.section) && vreko::fuzz::SameName(key, k.key)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vreko::fuzz::ScratchFile file;
    static const vreko::SettingsDefaults defaults = vreko::posix::DefaultSettings();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    file.Write(text);
    vreko::posix::IniFile ini(file.Path());
    const auto names = vreko::fuzz::NamesIn(text);
    std::vector<std::string> otherBefore;
    for (const auto& [s, k] : names) otherBefore.push_back(ini.ReadString(s, k, kAbsent));
    std::vector<std::string> keyBefore;
    for (const Key& k : kKeys) keyBefore.push_back(ini.ReadString(k.section, k.key, kAbsent));

    vreko::LoadedSettings loaded;
    const std::optional<std::string> message = vreko::LoadSettings(ini, defaults, 96, loaded);
    const std::string after = file.Read();

    // Key by key: a present value stays, a missing one (or one holding "Error") gets its
    // default, until a key whose text does not convert; the keys after it are left as they were.
    bool stopped = false;
    std::vector<std::string> keyAfter;
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        const Key& k = kKeys[i];
        const std::string now = ini.ReadString(k.section, k.key, kAbsent);
        keyAfter.push_back(now);
        const std::string about = std::string(k.section) + " / " + k.key + " = " + now;
        if (stopped) {
            if (now != keyBefore[i]) Fail("a key after the stop changed", about, text, after);
            continue;
        }
        const bool missing = keyBefore[i] == kAbsent || keyBefore[i] == "Error";
        const std::string& expected = missing ? defaults.*k.defaultText : keyBefore[i];
        if (now != expected)
            Fail(missing ? "a missing key was not completed" : "a key lost its value", about, text, after);
        std::int32_t number;
        if (k.integer && !vreko::StrToInt32(expected, number)) {
            stopped = true;
            if (message != "'" + expected + "' is not a valid integer value.")
                Fail("the conversion failure was not reported", about + "  message: " + message.value_or("none"), text,
                     after);
        }
    }
    if (!stopped && message) Fail("loading failed", *message, text, after);
    if (loaded.complete == stopped) Fail("loading says complete for a stopped load or the reverse", "", text, after);

    // What was loaded is what the file holds.
    if (!stopped) {
        if (loaded.FileName1 != keyAfter[1] || loaded.Param1 != keyAfter[2] || loaded.FileName2 != keyAfter[3] ||
            loaded.Param2 != keyAfter[4])
            Fail("the commands loaded differ from the file", loaded.FileName1 + " " + loaded.Param1, text, after);
        if (loaded.PositionCenter != (keyAfter[9] == "1") || loaded.TestMode != (keyAfter[10] == "1"))
            Fail("the flags loaded differ from the file", keyAfter[9] + " " + keyAfter[10], text, after);
    }

    // Every other key of the file keeps its value.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [s, k] = names[i];
        if (IsLoadedKey(s, k)) continue;
        if (ini.ReadString(s, k, kAbsent) != otherBefore[i])
            Fail("a key the program does not use changed its value", s + " / " + k, text, after);
    }

    // A second start finds every key it needs and writes nothing.
    vreko::LoadedSettings second;
    const std::optional<std::string> secondMessage = vreko::LoadSettings(ini, defaults, 96, second);
    const std::string afterSecond = file.Read();
    if (afterSecond != after) Fail("the second start wrote to the file", "", after, afterSecond);
    if (secondMessage != message || second.complete != loaded.complete)
        Fail("the second start loaded differently", secondMessage.value_or("no message"), after, afterSecond);
    return 0;
}
