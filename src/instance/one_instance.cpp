#include "instance/one_instance.h"

#include <algorithm>
#include <cctype>

#include "controls/popups.h"

namespace vreko {

void ReplaceChar(std::string& s, char from, char to) { std::replace(s.begin(), s.end(), from, to); }

std::string TOneInstance::BaseName() const {
    std::string base;
    if (ExeNameAsIdentifier) {
        base = app_.ExeName();
        std::transform(base.begin(), base.end(), base.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    } else {
        base = app_.Title().substr(0, 255);
    }
    base += Identifier;
    base += ".OneInstance.";
    ReplaceChar(base, '\\', '/');
    return base;
}

bool TOneInstance::PrevInstanceRunning() {
    const std::string base = BaseName();
    LockOpened how = LockOpened::Failed;
    std::unique_ptr<NamedLock> gate = platform_.OpenNamedLock(base + "CriticalSection", true, how);
    // A lock that may not be opened was made by another copy with rights this one lacks (one
    // started elevated, the other not): that copy runs, and this one is the second.
    lockFailed_ = how == LockOpened::Failed;
    // Another copy is inside its own test right now: count as the second.
    if (how != LockOpened::Created) return true;
    InstanceMutex = platform_.OpenNamedLock(base + "Default", false, how);
    const bool running = how == LockOpened::Denied || (InstanceMutex && InstanceMutex->Wait(0) == LockWait::TimedOut);
    gate->Release();
    return running;
}

void TOneInstance::CheckPrevInstance() {
    if (!PrevInstanceRunning()) return;
    terminate_ = true;
    const bool showMainForm = app_.ShowMainForm();
    app_.SetShowMainForm(false);
    // Without a gate this copy ends as a second one would, but not without a word: another
    // copy may well not be running at all.
    if (lockFailed_)
        ShowLockFailure();
    else if (ShowMessage)
        DoShowMessage();
    if (ActivatePrevInstance) DoActivatePrevInstance();
    if (terminate_)
        app_.Terminate();
    else
        app_.SetShowMainForm(showMainForm);
}

void TOneInstance::DoShowMessage() {
    if (OnShowMessage) {
        OnShowMessage(*this, terminate_);
        return;
    }
    std::string text = Message;
    if (text.empty()) text = "Application \"" + app_.Title() + "\" is already running.";
    ShowBox(text, MessageBoxIcon::Exclamation);
}

void TOneInstance::ShowLockFailure() {
    std::string text = app_.Title() + " cannot start: it cannot make sure that only one copy of it runs.";
    const std::string why = platform_.LockFailureText();
    if (!why.empty()) text += "\n\n" + why;
    ShowBox(text, MessageBoxIcon::Error);
}

void TOneInstance::ShowBox(const std::string& text, MessageBoxIcon icon) {
    ModalHold::Scope holdTicks(hold_);
    ShowMessageBox(platform_, text, app_.Title(), icon);
}

void TOneInstance::DoActivatePrevInstance() {
    WindowRef w = FindPrevInstanceWindow();
    if (!platform_.Exists(w)) return;
    if (platform_.IsMinimised(w))
        platform_.Restore(w, platform_.ForwardToken());
    else
        platform_.BringForward(w, platform_.ForwardToken());
}

WindowRef TOneInstance::FindPrevInstanceWindow() {
    const WindowRef own = platform_.OwnAppWindow();
    WindowRef w = 0;
    do {
        w = platform_.FindAppWindow(w, "TApplication", app_.Title());
    } while (w != 0 && w == own);
    return w;
}

void TOneInstance::ReleaseInstance() {
    if (!InstanceMutex) return;
    InstanceMutex->Release();
    InstanceMutex.reset();
}

}  // namespace vreko
