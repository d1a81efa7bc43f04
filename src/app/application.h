// The application object: title, program path, the activation and wake-up handlers, the
// application window other copies find, and the terminate request.
#pragma once

#include <functional>
#include <string>

#include "instance/one_instance.h"
#include "platform/platform.h"

namespace vreko {

class TApplication : public EventHandler, public GuardedApplication {
public:
    TApplication(Platform& platform, EventLoop& loop) : platform_(platform), loop_(loop) {}

    std::string Title() const override { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }
    std::string ExeName() const override { return platform_.ModuleFileName(); }
    bool ShowMainForm() const override { return showMainForm_; }
    void SetShowMainForm(bool on) override { showMainForm_ = on; }
    void Terminate() override { loop_.PostQuit(); }

    // Creates the application window (hidden, zero-sized, titled, of class "TApplication").
    void CreateHandle() { platform_.CreateAppWindow(title_, *this); }

    // Raised when the program has become the active application.
    std::function<void()> OnActivate;
    // Raised when the machine has slept and woken up again.
    std::function<void()> OnWake;

    // Events for the application window: the window system's activation (or another copy's
    // request to come forward), which the application tells itself through the loop, and the
    // wake-up.
    void Handle(const Event& e) override;

    Platform& platform() { return platform_; }
    EventLoop& loop() { return loop_; }

private:
    Platform& platform_;
    EventLoop& loop_;
    std::string title_;
    bool showMainForm_ = true;
};

}  // namespace vreko
