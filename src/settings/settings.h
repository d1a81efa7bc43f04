// The program's settings: the loading of its eleven keys at start, with each missing key
// completed in the settings with its default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace vreko {

// What the loading sets. The start values are what a setting keeps when loading stops
// before its key.
struct LoadedSettings {
    std::int32_t TimePause = 0;
    std::string FileName1, Param1, FileName2, Param2;
    std::string FontName = "Arial Black";
    int FontHeight = -120;  // pixels; negative: the character height
    std::int32_t PositionTop = 0, PositionLeft = 0;
    bool PositionCenter = true;
    bool TestMode = false;
    bool complete = false;  // all eleven keys were read and applied
    // What the user is told besides a failure of the loading: why no command was taken from
    // the settings (another user could have written them), a file beside them that was left
    // alone. Empty when there is nothing to tell.
    std::string notice;
};

// Reads the eleven keys in their fixed order (Timer/TimePause, AppStart/FileName1, Param1,
// FileName2, Param2, Text/FontName, FontSize, Timer/PositionTop, PositionLeft, PositionCenter,
// Test), writing the default of every missing key back at once, and applies them to out.
// Stops at the first key that cannot be written or converted; the keys after it are neither
// read nor written. Returns the message for the user (with its full stop), or nothing when
// all went well. The whole sequence holds the store's update lock, so that copies started
// together complete it one after the other.
// Settings that another user could have written (SettingsStore::Untrusted) give no command:
// the four command strings stay empty, nothing is written into them (a missing key takes its
// default without being written), and out.notice says why; the other keys apply as read.
std::optional<std::string> LoadSettings(SettingsStore& ini, const SettingsDefaults& defaults, int screenDpi,
                                        LoadedSettings& out);

// A size in points as pixels at dpi pixels per inch, rounded half away from zero and kept
// within [-INT_MAX, INT_MAX].
int PointsToPixels(std::int32_t points, int dpi);

// The settings file in the folder of the program file at programPath, whose folders are
// separated by any of separators.
std::string SettingsFileBeside(const std::string& programPath, std::string_view separators);

}  // namespace vreko
