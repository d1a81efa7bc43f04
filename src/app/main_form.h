// The main window: the readout, the three buttons, the two tick sources, the context menu,
// the window shape and the single-instance guard, with the start-up and end of the program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "controls/control_host.h"
#include "controls/vr_form_shape.h"
#include "controls/vr_label.h"
#include "controls/vr_shape_button.h"
#include "core/command_launcher.h"
#include "core/countdown.h"
#include "core/input_routing.h"
#include "instance/one_instance.h"
#include "platform/platform.h"

namespace vreko {

// A plain text label; the two of the main window lie below its visible area.
class TLabel : public TextView {
public:
    Rect bounds;
    std::string Caption;
    void SetText(const std::string& text) override { Caption = text; }
};

class TForm1 : public WindowHandler, public MainWindowOps, public ReadoutView {
    // Declared first: the controls built below ask for them while they are created.
    TApplication& app_;
    Platform& platform_;
    int dpi_ = 96;
    ControlHost host_;

public:
    static constexpr int kDesignWidth = 392;
    static constexpr int kDesignHeight = 166;

    // Builds the window from its design, runs the loading-complete notices and FormCreate.
    TForm1(TApplication& app, Platform& platform);
    ~TForm1() override;

    // Controls, in creation order (also their drawing order: later ones on top).
    TVrLabel VrLabel1;
    TLabel Label1, Label2;
    TVrShapeButton btnUp, btnDown, btnClose;
    // Components without a picture.
    ModalHold hold;
    TOneInstance OneInstance1;
    CommandLauncher launcher;
    CountdownController controller;
    std::vector<std::string> PopupMenu1{"Test Start Command 1", "Test Start Command 2"};
    TVrFormShape VrFormShape1;

    // Event handlers.
    void FormCreate();
    void AppOnActivate();
    // The machine has slept and woken up again.
    void AppOnWake();
    void btnUpClick(TVrCustomShapeButton& Sender);
    void btnCloseClick(TVrCustomShapeButton& Sender);
    void VrLabel1MouseDown(TVrBaseControl& Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void StartCommand11Click() { launcher.StartCommand(1); }
    void StartCommand21Click() { launcher.StartCommand(2); }

    // MainWindowOps
    void Show() override;
    void Hide() override;
    void Close() override;
    bool Visible() const override;

    // ReadoutView: the big readout is VrLabel1.
    void SetCaption(const std::string& caption) override;
    void SetFontColor(Color color) override;

    // WindowHandler
    void Handle(const Event& e) override;
    Area AreaAt(Point client) override;

    int ClientWidth() const { return Scale(kDesignWidth); }
    int ClientHeight() const { return Scale(kDesignHeight); }
    int Scale(int designValue) const;
    int Dpi() const { return dpi_; }
    const std::string& SettingsPath() const { return settingsPath_; }
    bool SettingsComplete() const { return settingsComplete_; }

private:
    void CreateHandle();
    // Places the controls, the buttons' edges and the outline's corners of the design at the
    // current resolution.
    void ScaleDesign();
    // The screen's resolution changed: the design, the readout's font and the outline follow
    // it, and the window keeps its centre.
    void ChangeDpi(int dpi);
    // A pointer event of the client area.
    void RouteMouse(Point at, const ButtonChanged* button, HeldKeys held);
    void ShowContextMenu(Point client);

    std::unique_ptr<Window> window_;
    // The window holds the pointer for a right press on its draggable background.
    bool captionRightPress_ = false;
    std::string settingsPath_;
    bool settingsComplete_ = false;

    InputTargets inputTargets_;
    // The readout's font height as last set, and the resolution it was set for.
    int fontHeight_ = 0;
    int fontDpi_ = 96;
};

// After the event loop has ended, with the window still there: a command whose launch is still
// being decided is seen through, so that its failure is shown before the program ends.
void SettlePendingLaunches(Platform& platform);

// The whole program on a backend: start-up, the message loop, the end. Returns the exit code.
int RunProgram(Platform& platform);

}  // namespace vreko
