#include "../ini_store_under_test.h"

#include "platform/posix/ini_file.h"

namespace vreko::settings_test {

std::unique_ptr<SettingsStore> OpenIniStore(const std::string& path) { return std::make_unique<posix::IniFile>(path); }

const std::string kNewFileLineBreak = "\n";

}  // namespace vreko::settings_test
