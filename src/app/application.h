// The application object: title, program path, the message hook and activation handler,
// the application window other copies find, and the terminate request.
#pragma once

#include <functional>
#include <string>

#include "instance/one_instance.h"
#include "platform/platform.h"

namespace vreko {

class TApplication : public WindowHandler, public GuardedApplication {
public:
    TApplication(Platform& platform, EventLoop& loop);

    std::string Title() const override { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }
    std::string ExeName() const override { return platform_.ModuleFileName(); }
    bool ShowMainForm() const override { return showMainForm_; }
    void SetShowMainForm(bool on) override { showMainForm_ = on; }
    void Terminate() override { loop_.PostQuit(); }

    // Creates the application window (hidden, zero-sized, titled, of class "TApplication").
    void CreateHandle();

    // Raised when the program has become the active application.
    std::function<void()> OnActivate;
    // Sees every message the program's loops take, before dispatch.
    std::function<void(const Message&, bool& Handled)> OnMessage;

    // Notices for the application window: the window system's activation, and the notice the
    // program posts itself from it.
    void WndProc(const Message& m) override;

    Platform& platform() { return platform_; }
    EventLoop& loop() { return loop_; }

private:
    Platform& platform_;
    EventLoop& loop_;
    std::string title_;
    bool showMainForm_ = true;
};

}  // namespace vreko
