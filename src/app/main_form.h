// The main window: the readout, the three buttons, the two tick sources, the context menu,
// the window shape and the single-instance guard, with the start-up and end of the program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
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

// The readout as the countdown sees it.
class ReadoutAdapter : public ReadoutView {
public:
    explicit ReadoutAdapter(TVrLabel& l) : label(l) {}
    void SetCaption(const std::string& c) override { label.SetCaption(c); }
    void SetFontColor(Color c) override { label.SetFontColor(c); }

private:
    TVrLabel& label;
};

class TForm1 : public NativeWindowHandler, public ControlParent, public MainWindowOps {
    // Declared first: the controls built below ask for them while they are created.
    TApplication& app_;
    Platform& platform_;
    int dpi_ = 96;
    bool loading_ = true;

public:
    static constexpr int kDesignWidth = 392;
    static constexpr int kDesignHeight = 166;

    // Builds the window from its design, runs the loading-complete notices and FormCreate.
    TForm1(TApplication& app, Platform& platform);
    ~TForm1() override;

    // Controls, in creation order (also their drawing order: later ones on top).
    TVrLabel VrLabel1;
    ReadoutAdapter readout{VrLabel1};
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
    void AppOnMessage(const Message& Msg, bool& Handled);
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

    // NativeWindowHandler
    void WndProc(const Message& m) override;
    int NcHitTest(Point client) override;

    // ControlParent
    std::unique_ptr<Painter> GetControlDC() override;
    void InvalidateControlRect(const Rect& r, bool erase) override;
    bool DesignLoading() const override { return loading_; }
    EventLoop& Loop() override { return app_.loop(); }
    Point CursorPos() override { return platform_.CursorPos(); }
    Point ClientToScreen(Point p) override;

    NativeWindow* Handle() const { return window_.get(); }
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
    void Paint();
    void RouteMouse(const Message& m);
    // Tells controls that the pointer entered or left them, and shows their cursor.
    void TrackHover(Point client);
    void ShowContextMenu(Point screen);
    TVrBaseControl* ControlAt(Point client);
    std::vector<TVrBaseControl*> Controls();

    std::unique_ptr<NativeWindow> window_;
    Point position_;
    TVrBaseControl* capture_ = nullptr;
    // The window holds the pointer for a right press on its draggable background.
    bool captionRightPress_ = false;
    TVrBaseControl* hover_ = nullptr;
    std::string settingsPath_;
    bool settingsComplete_ = false;

    InputTargets inputTargets_;
    // The readout's font height as last set, and the resolution it was set for.
    int fontHeight_ = 0;
    int fontDpi_ = 96;
};

// After the message loop has ended, with the window still there: a command whose start is still
// being decided is seen through, so that its failure is shown before the program ends.
void SettlePendingStarts(Platform& platform);

// The whole program on a backend: start-up, the message loop, the end. Returns the exit code.
int RunProgram(Platform& platform);

}  // namespace vreko
