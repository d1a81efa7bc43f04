#include "platform/posix/settings_file.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/posix/ini_file.h"
#include "settings/settings.h"

namespace vreko::posix {

namespace fs = std::filesystem;

SettingsDefaults DefaultSettings() {
    SettingsDefaults d;
    d.FileName1 = "notify-send";
    d.Param1 = "-u critical Vreko \"Switching off in one minute\"";
    d.FileName2 = "systemctl";
    d.Param2 = "poweroff";
    return d;
}

std::string UserSettingsFilePath() {
    fs::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else if (home && home[0] != '\0') {
        base = fs::path(home) / ".config";
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] != '\0') {
        base = fs::path(pw->pw_dir) / ".config";
    } else {
        return {};
    }
    return (base / "vreko" / kSettingsFileName).string();
}

bool CreateSettingsFolder(const std::string& settingsPath) {
    const fs::path dir = fs::path(settingsPath).parent_path();
    if (dir.empty()) return true;
    // Create from the top down, so that every new folder gets mode 0700 (create_directories
    // would give the umask's mode).
    fs::path partial;
    for (const fs::path& part : dir) {
        partial /= part;
        std::error_code ec;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST && !fs::is_directory(partial, ec)) return false;
    }
    std::error_code ec;
    return fs::is_directory(dir, ec);
}

std::string SettingsFilePath(const std::string& programPath) {
    const std::string beside = SettingsFileBeside(programPath, "/");
    std::error_code ec;
    if (fs::exists(fs::symlink_status(beside, ec))) return beside;  // a portable installation
    const std::string user = UserSettingsFilePath();
    if (user.empty()) return beside;
    // A folder that cannot be made shows up as the failed write of the first missing key.
    CreateSettingsFolder(user);
    return user;
}

std::unique_ptr<SettingsStore> OpenSettingsFile(const std::string& programPath) {
    const std::string path = SettingsFilePath(programPath);
    CreateSettingsFolder(path);
    return std::make_unique<IniFile>(path);
}

}  // namespace vreko::posix
