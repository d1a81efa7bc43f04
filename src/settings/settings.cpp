#include "settings/settings.h"

#include <climits>
#include <memory>
#include <string_view>

#include "settings/int_conversion.h"

namespace vreko {

namespace {

// What the reader returns for a key that is missing; a key holding this text counts as
// missing too and gets its default.
constexpr std::string_view kMissing = "Error";
constexpr std::size_t kMaxFontNameLength = 31;

constexpr std::string_view kTimer = "Timer";
constexpr std::string_view kAppStart = "AppStart";
constexpr std::string_view kText = "Text";

enum class KeyKind { Integer, Command, FontName, FontSize, Flag };

struct KeySpec {
    std::string_view section;
    std::string_view key;
    const std::string SettingsDefaults::*defaultText;
    KeyKind kind;
    // Where the value goes: the loaded setting of its kind (none for the font size, which
    // becomes the font height).
    std::int32_t LoadedSettings::*integer = nullptr;
    std::string LoadedSettings::*text = nullptr;
    bool LoadedSettings::*flag = nullptr;
};

// In reading order.
const KeySpec kKeys[] = {
    {kTimer, "TimePause", &SettingsDefaults::TimePause, KeyKind::Integer, &LoadedSettings::TimePause},
    {kAppStart, "FileName1", &SettingsDefaults::FileName1, KeyKind::Command, nullptr, &LoadedSettings::FileName1},
    {kAppStart, "Param1", &SettingsDefaults::Param1, KeyKind::Command, nullptr, &LoadedSettings::Param1},
    {kAppStart, "FileName2", &SettingsDefaults::FileName2, KeyKind::Command, nullptr, &LoadedSettings::FileName2},
    {kAppStart, "Param2", &SettingsDefaults::Param2, KeyKind::Command, nullptr, &LoadedSettings::Param2},
    {kText, "FontName", &SettingsDefaults::FontName, KeyKind::FontName, nullptr, &LoadedSettings::FontName},
    {kText, "FontSize", &SettingsDefaults::FontSize, KeyKind::FontSize},
    {kTimer, "PositionTop", &SettingsDefaults::PositionTop, KeyKind::Integer, &LoadedSettings::PositionTop},
    {kTimer, "PositionLeft", &SettingsDefaults::PositionLeft, KeyKind::Integer, &LoadedSettings::PositionLeft},
    {kTimer, "PositionCenter", &SettingsDefaults::PositionCenter, KeyKind::Flag, nullptr, nullptr,
     &LoadedSettings::PositionCenter},
    {kTimer, "Test", &SettingsDefaults::Test, KeyKind::Flag, nullptr, nullptr, &LoadedSettings::TestMode},
};

// The keys in their order, as LoadSettings tells; untrusted gets why the settings could come
// from another user as soon as a read finds it.
std::optional<std::string> LoadKeys(SettingsStore& ini, const SettingsDefaults& defaults, int screenDpi,
                                    LoadedSettings& out, std::string& untrusted) {
    for (const KeySpec& entry : kKeys) {
        std::string text = ini.ReadString(entry.section, entry.key, kMissing);
        if (untrusted.empty()) untrusted = ini.Untrusted();
        if (text == kMissing) {
            text = defaults.*entry.defaultText;
            if (untrusted.empty() && !ini.WriteString(entry.section, entry.key, text))
                return "Unable to write to " + ini.Path() + ".";
        }

        std::int32_t number = 0;
        if (entry.kind == KeyKind::Integer || entry.kind == KeyKind::FontSize) {
            if (!StrToInt32(text, number)) return "'" + text + "' is not a valid integer value.";
        }
        switch (entry.kind) {
            case KeyKind::Integer: out.*entry.integer = number; break;
            case KeyKind::Command: out.*entry.text = text; break;
            case KeyKind::FontName:
                if (!text.empty()) out.*entry.text = text.substr(0, kMaxFontNameLength);
                break;
            case KeyKind::FontSize: out.FontHeight = -PointsToPixels(number, screenDpi); break;
            case KeyKind::Flag: out.*entry.flag = text == "1"; break;
        }
    }
    out.complete = true;
    return std::nullopt;
}

}  // namespace

int PointsToPixels(std::int32_t points, int dpi) {
    const long long product = static_cast<long long>(points) * dpi;
    const long long magnitude = ((product < 0 ? -product : product) + 36) / 72;
    const long long clamped = magnitude > INT_MAX ? INT_MAX : magnitude;
    return static_cast<int>(product < 0 ? -clamped : clamped);
}

std::optional<std::string> LoadSettings(SettingsStore& ini, const SettingsDefaults& defaults, int screenDpi,
                                        LoadedSettings& out) {
    out.complete = false;
    out.notice.clear();
    // Copies started at the same moment complete the file one after the other: each sees
    // what the one before it wrote and writes only what is still missing.
    const std::unique_ptr<SettingsStore::UpdateLock> lock = ini.LockForUpdate();
    std::string untrusted;
    std::optional<std::string> error = LoadKeys(ini, defaults, screenDpi, out, untrusted);
    if (!untrusted.empty()) {
        // Whatever was read of the commands, none of them is ever launched.
        out.FileName1.clear();
        out.Param1.clear();
        out.FileName2.clear();
        out.Param2.clear();
        out.notice = untrusted + "\n\nNo command is launched from " + ini.Path() +
                     ", and nothing is written into it, until only you or the administrator can change it and the "
                     "folder that holds it.";
    }
    if (const std::string ignored = ini.Ignored(); !ignored.empty())
        out.notice += (out.notice.empty() ? "" : "\n\n") + ignored;
    return error;
}

std::string SettingsFileBeside(const std::string& programPath, std::string_view separators) {
    const auto cut = programPath.find_last_of(separators);
    return programPath.substr(0, cut == std::string::npos ? 0 : cut + 1) + kSettingsFileName;
}

}  // namespace vreko
