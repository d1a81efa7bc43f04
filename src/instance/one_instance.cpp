#include "instance/one_instance.h"

#include <algorithm>
#include <cctype>

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
    KernelHandle gate = platform_.CreateNamedMutex(true, base + "CriticalSection");
    const std::uint32_t gateError = platform_.GetLastError();
    // A mutex that may not be opened was made by another copy with rights this one lacks (one
    // started elevated, the other not): that copy runs, and this one is the second.
    lockFailed_ = gate == 0 && gateError != kErrorAccessDenied;
    if (gateError != 0 || gate == 0) {
        // Another copy is inside its own test right now: count as the second.
        if (gate) platform_.CloseHandle(gate);
        return true;
    }
    InstanceMutex = platform_.CreateNamedMutex(false, base + "Default");
    const bool deniedToUs = InstanceMutex == 0 && platform_.GetLastError() == kErrorAccessDenied;
    const bool running = deniedToUs || platform_.WaitForSingleObject(InstanceMutex, 0) == kWaitTimeout;
    platform_.ReleaseMutex(gate);
    platform_.CloseHandle(gate);
    return running;
}

void TOneInstance::CheckPrevInstance() {
    if (!PrevInstanceRunning()) return;
    terminate_ = true;
    const bool showMainForm = app_.ShowMainForm();
    app_.SetShowMainForm(false);
    // Without a gate this copy ends as a second one would, but not without a word: another
    // copy may well not be running at all.
    if (lockFailed_) ShowLockFailure();
    else if (ShowMessage) DoShowMessage();
    if (ActivatePrevInstance) DoActivatePrevInstance();
    if (terminate_) app_.Terminate();
    else app_.SetShowMainForm(showMainForm);
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
    const std::string why = platform_.MutexFailureText();
    if (!why.empty()) text += "\n\n" + why;
    ShowBox(text, MessageBoxIcon::Error);
}

void TOneInstance::ShowBox(const std::string& text, MessageBoxIcon icon) {
    ModalHold::Scope holdTicks(hold_);
    platform_.ShowMessageBox(text, app_.Title(), icon);
}

void TOneInstance::DoActivatePrevInstance() {
    WindowRef w = FindPrevInstanceWindow();
    if (!platform_.IsWindow(w)) return;
    if (platform_.IsIconic(w)) platform_.OpenIcon(w);
    else platform_.SetForegroundWindow(w);
}

WindowRef TOneInstance::FindPrevInstanceWindow() {
    const WindowRef own = platform_.OwnAppWindow();
    WindowRef w = 0;
    do {
        w = platform_.FindTopLevelWindow(w, "TApplication", app_.Title());
    } while (w != 0 && w == own);
    return w;
}

void TOneInstance::ReleaseInstance() {
    if (!InstanceMutex) return;
    platform_.ReleaseMutex(InstanceMutex);
    platform_.CloseHandle(InstanceMutex);
    InstanceMutex = 0;
}

}  // namespace vreko
