// The program's settings: where the settings file lives, and the loading of its eleven keys
// at start, with each missing key completed in the file with its default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/ini_file.h"

namespace vreko {

inline constexpr const char* kSettingsFileName = "Vreko.INI";

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
};

// The texts written for missing keys.
struct SettingsDefaults {
    std::string TimePause;
    std::string FileName1, Param1, FileName2, Param2;
    std::string FontName, FontSize;
    std::string PositionTop, PositionLeft, PositionCenter, Test;
};

// The defaults of this system: nnCron's scheduler tasks on Windows; on Linux a desktop
// notification as the warning and a power-off as the action.
SettingsDefaults PlatformDefaults();

// Reads the eleven keys in their fixed order (Timer/TimePause, AppStart/FileName1, Param1,
// FileName2, Param2, Text/FontName, FontSize, Timer/PositionTop, PositionLeft, PositionCenter,
// Test), writing the default of every missing key back at once, and applies them to out.
// Stops at the first key that cannot be written or converted; the keys after it are neither
// read nor written. Returns the message for the user (with its full stop), or nothing when
// all went well. The whole sequence holds the file's update lock, so that copies started
// together complete it one after the other.
std::optional<std::string> LoadSettings(IniFile& ini, const SettingsDefaults& defaults, int screenDpi,
                                        LoadedSettings& out);

// A size in points as pixels at dpi pixels per inch, rounded half away from zero and kept
// within [-INT_MAX, INT_MAX].
int PointsToPixels(std::int32_t points, int dpi);

// The settings file of the program file at programPath. On Windows: beside the program. On
// Linux: beside the program when a settings file is already there, else the user's one
// (UserSettingsFilePath), whose folder is created when missing.
std::string SettingsFilePath(const std::string& programPath);

#ifndef _WIN32
// $XDG_CONFIG_HOME/vreko/Vreko.INI, or $HOME/.config/vreko/Vreko.INI when the variable is
// unset, empty or not an absolute path. Empty when no home folder is known.
std::string UserSettingsFilePath();

// Creates the folder that holds settingsPath, and any missing folder above it, readable by
// the user alone. True when the folder exists afterwards.
bool CreateSettingsFolder(const std::string& settingsPath);
#endif

}  // namespace vreko
