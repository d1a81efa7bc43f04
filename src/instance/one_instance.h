// Lets only one copy of the program run: a later copy brings the running one forward and
// ends without ever showing its window.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/modal_hold.h"
#include "platform/platform.h"

namespace vreko {

// What the guard needs of the application object.
class GuardedApplication {
public:
    virtual ~GuardedApplication() = default;
    virtual std::string Title() const = 0;
    virtual std::string ExeName() const = 0;
    virtual bool ShowMainForm() const = 0;
    virtual void SetShowMainForm(bool on) = 0;
    virtual void Terminate() = 0;
};

class TOneInstance {
public:
    // hold: held while a box of the guard is open, so that the idle ticks cannot end the
    // program under it.
    TOneInstance(Platform& platform, GuardedApplication& app, ModalHold& hold)
        : platform_(platform), app_(app), hold_(hold) {}

    bool ActivatePrevInstance = true;
    bool ExeNameAsIdentifier = false;
    std::string Message;
    std::string Identifier;
    bool ShowMessage = false;
    std::function<void(TOneInstance& sender, bool& Terminate)> OnShowMessage;

    // The window's design has been read in full.
    void Loaded() { CheckPrevInstance(); }

    bool PrevInstanceRunning();
    void CheckPrevInstance();
    void DoShowMessage();
    void DoActivatePrevInstance();
    WindowRef FindPrevInstanceWindow();
    // Program end: give up the claim of the running copy.
    void ReleaseInstance();

    std::string BaseName() const;
    bool Terminating() const { return terminate_; }

private:
    // Tells the user why this copy ends when the gate cannot be had at all.
    void ShowLockFailure();

    // Shows a box of the guard and returns when the user has closed it.
    void ShowBox(const std::string& text, MessageBoxIcon icon);

    Platform& platform_;
    GuardedApplication& app_;
    ModalHold& hold_;
    bool terminate_ = false;
    bool lockFailed_ = false;  // the last test could not open its gate
    // The running copy's claim, held for the whole run by the first copy.
    std::unique_ptr<NamedLock> InstanceMutex;
};

// Replaces, in place, every occurrence of one character by another.
void ReplaceChar(std::string& s, char from, char to);

}  // namespace vreko
