// Launches the two configured commands: the warning (1) and the action (2).
#pragma once

#include <cstdint>
#include <string>

#include "core/modal_hold.h"

namespace vreko {

class Platform;

// The two lines of the failure message, joined by a line feed and a carriage return.
extern const char* const kLaunchFailureText;
extern const char* const kApplicationTitle;

struct Commands {
    std::string FileName1, Param1, FileName2, Param2;
};

class CommandLauncher {
public:
    // A start that the platform decides later shows the failure message then, if it failed.
    CommandLauncher(Platform& platform, ModalHold& hold);
    ~CommandLauncher();
    CommandLauncher(const CommandLauncher&) = delete;
    CommandLauncher& operator=(const CommandLauncher&) = delete;

    Commands& commands() { return commands_; }
    const Commands& commands() const { return commands_; }

    // 1 selects command 1, any other value command 2. An empty program path launches
    // nothing; a launch that starts nothing shows the failure message and returns when the
    // user has closed it.
    void StartCommand(std::int32_t k);
    // The launch alone, without waiting for the command: false when nothing could be started
    // (an empty program path launches nothing, and that is no failure). A launch whose outcome
    // comes later counts as started; its failure shows the message when it is known.
    bool Launch(std::int32_t k);
    // The failure message, open until the user closes it (or the program ends); the user's
    // input is held meanwhile.
    void ShowFailure();

private:
    Platform& platform_;
    ModalHold& hold_;
    Commands commands_;
};

}  // namespace vreko
