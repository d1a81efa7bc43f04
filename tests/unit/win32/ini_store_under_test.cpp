#include "../ini_store_under_test.h"

#include "platform/win32/win32_settings.h"

namespace vreko::settings_test {

std::unique_ptr<SettingsStore> OpenIniStore(const std::string& path) { return win32::OpenIniFile(path); }

const std::string kNewFileLineBreak = "\r\n";

}  // namespace vreko::settings_test
