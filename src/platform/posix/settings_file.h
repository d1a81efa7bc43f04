// Where the settings file lives on Linux, and the defaults written into it.
#pragma once

#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace vreko::posix {

// A desktop notification as the warning and a power-off as the action.
SettingsDefaults DefaultSettings();

// The settings file of the program file at programPath: beside the program when a settings
// file is already there, else the user's one (UserSettingsFilePath), whose folder is created
// when missing.
std::string SettingsFilePath(const std::string& programPath);

// $XDG_CONFIG_HOME/vreko/Vreko.INI, or $HOME/.config/vreko/Vreko.INI when the variable is
// unset, empty or not an absolute path. Empty when no home folder is known.
std::string UserSettingsFilePath();

// Creates the folder that holds settingsPath, and any missing folder above it, readable by
// the user alone. True when the folder exists afterwards.
bool CreateSettingsFolder(const std::string& settingsPath);

// The settings file of the program at programPath (SettingsFilePath), its folder made.
std::unique_ptr<SettingsStore> OpenSettingsFile(const std::string& programPath);

}  // namespace vreko::posix
