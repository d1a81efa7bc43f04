#include "core/command_launcher.h"

#include "controls/popups.h"
#include "platform/platform.h"

namespace vreko {

const char* const kLaunchFailureText =
    "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0!"  // "Ошибка!"
    "\n\r"
    "\xD0\x9D\xD0\xB5\xD0\xBF\xD1\x80\xD0\xB0\xD0\xB2\xD0\xB8\xD0\xBB\xD1\x8C\xD0\xBD\xD1\x8B\xD0\xB5 "
    "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD1\x80\xD1\x8B "
    "\xD0\xBA\xD0\xBE\xD0\xBC\xD0\xB0\xD0\xBD\xD0\xB4\xD0\xBD\xD0\xBE\xD0\xB9 "
    "\xD1\x81\xD1\x82\xD1\x80\xD0\xBE\xD0\xBA\xD0\xB8.";  // "Неправильные параметры командной строки."

const char* const kApplicationTitle = "Vreko";

CommandLauncher::CommandLauncher(Platform& platform, ModalHold& hold) : platform_(platform), hold_(hold) {
    platform_.SetLaunchOutcomeHandler([this](const Launched& outcome) {
        if (outcome.outcome == LaunchOutcome::NotStarted) ShowFailure();
    });
}

CommandLauncher::~CommandLauncher() { platform_.SetLaunchOutcomeHandler(nullptr); }

void CommandLauncher::StartCommand(std::int32_t k) {
    if (!Launch(k)) ShowFailure();
}

bool CommandLauncher::Launch(std::int32_t k) {
    const std::string& file = k == 1 ? commands_.FileName1 : commands_.FileName2;
    const std::string& params = k == 1 ? commands_.Param1 : commands_.Param2;
    if (file.empty()) return true;
    return platform_.Launch(file, params).outcome != LaunchOutcome::NotStarted;
}

void CommandLauncher::ShowFailure() {
    ModalHold::Scope hold(hold_);
    ShowMessageBox(platform_, kLaunchFailureText, kApplicationTitle, MessageBoxIcon::Plain);
}

}  // namespace vreko
