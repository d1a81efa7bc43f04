#include "app/main_form.h"

#include <algorithm>
#include <cmath>

#include "controls/popups.h"
#include "settings/settings.h"

namespace vreko {

TForm1::TForm1(TApplication& app, Platform& platform)
    : app_(app),
      platform_(platform),
      dpi_(std::max(1, platform.ScreenDpi())),
      host_(app.loop()),
      VrLabel1(&host_),
      btnUp(&host_),
      btnDown(&host_),
      btnClose(&host_),
      OneInstance1(platform, app, hold),
      launcher(platform, hold),
      controller(app.loop(), *this, {*this, Label1, Label2}, launcher, hold, platform.AutomaticSleep()),
      inputTargets_{controller, hold, [this] { btnUp.Click(); }, [this] { btnDown.Click(); }} {
    // The design's places and sizes, scaled from 96 pixels per inch to the screen's.
    ScaleDesign();
    VrLabel1.Bevel.SetMode(TVrBevelMode::bmCustom);
    VrLabel1.FontFX.SetShadowDepth(2);
    VrLabel1.FontFX.SetLightColor(colors::kGreen);
    VrLabel1.FontFX.SetShadowColor(colors::kSilver);
    VrLabel1.SetAlignment(TVrAlignment::agCenter);
    VrLabel1.AutoSize = false;
    VrLabel1.SetColor(colors::kBlack);
    VrLabel1.SetFont(TFont{FontSpec{"Arial Black", -Scale(120), false, false}, colors::kLime, 204});
    fontHeight_ = VrLabel1.Font().desc.height;
    fontDpi_ = dpi_;
    VrLabel1.SetOptions(0);
    VrLabel1.ParentFont = false;
    VrLabel1.SetTransparent(false);
    VrLabel1.OnMouseDown = [this](TVrBaseControl& s, TMouseButton b, TShiftState sh, int x, int y) {
        VrLabel1MouseDown(s, b, sh, x, y);
    };
    VrLabel1.SetCaption("OFF");

    Label1.Caption = "0";
    Label2.Caption = "120:00";

    struct ButtonDesign {
        TVrShapeButton& button;
        TVrShapeType shape;
        std::int32_t tag;
    };
    for (const ButtonDesign& d :
         {ButtonDesign{btnUp, TVrShapeType::stDirectUp, 0}, ButtonDesign{btnDown, TVrShapeType::stDirectDown, 1},
          ButtonDesign{btnClose, TVrShapeType::stEllipse, 0}}) {
        TVrShapeButton& b = d.button;
        b.handCursor = true;
        b.UseCaption = false;
        b.AllowTransparency = true;
        b.AllowMouseOver = true;
        TVrShapeButtonColor c = b.Colors();
        c.Down = colors::kGray;
        c.MouseOver = colors::kBtnHighlight;
        b.SetColors(c);
        TVrShape shape = b.Shape();
        shape.Shape = d.shape;
        shape.BrushColor = colors::kBtnFace;
        if (&b == &btnClose) {
            shape.Bevel.Color_ = colors::kWhite;
            shape.Shadow.Style = TVrShadowStyle::hssNone;
        }
        b.SetShape(shape);
        b.SetStyle(TVrShapeButtonStyle::sbs3D);
        b.Tag = d.tag;
    }
    btnUp.OnClick = [this](TVrCustomShapeButton& s) { btnUpClick(s); };
    btnDown.OnClick = [this](TVrCustomShapeButton& s) { btnUpClick(s); };
    btnClose.OnClick = [this](TVrCustomShapeButton& s) { btnCloseClick(s); };
    VrFormShape1.Region.BorderStyle = TVrRegionBorderStyle::rbNone;

    // The design is in place: every component gets its loading-complete notice, in order.
    host_.SetControls({&VrLabel1, &btnUp, &btnDown, &btnClose});
    host_.loading = false;
    VrLabel1.Loaded();
    btnUp.Loaded();
    btnDown.Loaded();
    btnClose.Loaded();
    OneInstance1.Loaded();
    CreateHandle();
    VrFormShape1.Loaded(window_.get(), ClientWidth(), ClientHeight());

    FormCreate();
}

TForm1::~TForm1() {
    app_.OnWake = nullptr;
    app_.loop().SetHook(nullptr);
    OneInstance1.ReleaseInstance();
}

void TForm1::ScaleDesign() {
    VrLabel1.SetBounds(Scale(56), Scale(0), Scale(337), Scale(169));
    Label1.bounds = {Scale(232), Scale(192), Scale(242), Scale(216)};
    Label2.bounds = {Scale(280), Scale(192), Scale(345), Scale(216)};
    struct ButtonPlace {
        TVrShapeButton& button;
        int left, top, width, height;
    };
    for (const ButtonPlace& d : {ButtonPlace{btnUp, 8, 8, 42, 49}, ButtonPlace{btnDown, 8, 112, 42, 49},
                                 ButtonPlace{btnClose, 13, 67, 33, 33}}) {
        d.button.SetBounds(Scale(d.left), Scale(d.top), Scale(d.width), Scale(d.height));
        TVrShape shape = d.button.Shape();
        shape.Bevel.Width = std::max(2, Scale(2));
        d.button.SetShape(shape);
    }
    VrFormShape1.Region.RoundX = VrFormShape1.Region.RoundY = Scale(20);
}

void TForm1::ChangeDpi(int dpi) {
    if (dpi <= 0 || dpi == dpi_) return;
    dpi_ = dpi;
    ScaleDesign();
    VrLabel1.SetFontHeight(int(std::lround(double(fontHeight_) * dpi_ / fontDpi_)));
    if (!window_) return;
    window_->Resize(ClientWidth(), ClientHeight());
    VrFormShape1.Resize(ClientWidth(), ClientHeight());
    window_->Invalidate(nullptr);
}

int TForm1::Scale(int designValue) const {
    if (dpi_ == 96) return designValue;
    return int(std::lround(double(designValue) * dpi_ / 96.0));
}

void TForm1::CreateHandle() {
    // At its first showing the window is centred on the primary monitor.
    WindowDesc desc;
    desc.title = app_.Title();
    desc.width = ClientWidth();
    desc.height = ClientHeight();
    window_ = platform_.CreateMainWindow(*this, desc);
    host_.SetWindow(window_.get());
}

void TForm1::FormCreate() {
    app_.OnActivate = [this] { AppOnActivate(); };
    app_.OnWake = [this] { AppOnWake(); };
    app_.loop().SetHook([this](const Event& e, bool& handled) { vreko::AppOnMessage(e, handled, inputTargets_); });

    // Settings: each key in its order, missing ones written back, stop at the first failure.
    const std::unique_ptr<SettingsStore> settings = platform_.OpenSettings(app_.ExeName());
    settingsPath_ = settings->Path();
    LoadedSettings s;
    s.FontHeight = VrLabel1.Font().desc.height;
    std::optional<std::string> error = LoadSettings(*settings, platform_.DefaultSettings(), dpi_, s);
    controller.TimePause = s.TimePause;
    controller.TestMode = s.TestMode;
    launcher.commands() = {s.FileName1, s.Param1, s.FileName2, s.Param2};
    if (!s.FontName.empty()) VrLabel1.SetFontName(s.FontName);
    VrLabel1.SetFontHeight(s.FontHeight);
    fontHeight_ = s.FontHeight;
    fontDpi_ = dpi_;
    if (!s.PositionCenter && window_) window_->Place({false, {s.PositionLeft, s.PositionTop}});
    settingsComplete_ = !error.has_value();
    // After a failure the reset is skipped: the readout keeps its design look until the first dial.
    if (settingsComplete_) controller.Reset();
    // One box tells the failure and what else the user must know about the settings file.
    std::string message = error ? *error : std::string();
    if (!s.notice.empty()) message += (message.empty() ? "" : "\n\n") + s.notice;
    if (!message.empty()) {
        // The idle timer waits while the user reads the message, so it cannot end the program under it.
        ModalHold::Scope holdTicks(hold);
        ShowMessageBox(platform_, message, app_.Title(), error ? MessageBoxIcon::Error : MessageBoxIcon::Exclamation);
    }
}

void TForm1::AppOnActivate() {
    // While a box of ours is open the activation is the box's: the window is neither shown nor
    // raised over it (at start-up it shows once the settings' message is closed).
    if (hold.Active()) return;
    if (!Visible()) Show();
    controller.ShowAndPause();
}

void TForm1::AppOnWake() {
    // A copy that is only passing the running one forward has nothing to show.
    if (!app_.ShowMainForm()) return;
    controller.ShowAfterSleep();
}

void TForm1::btnUpClick(TVrCustomShapeButton& Sender) { controller.StepTime(Sender.Tag); }

void TForm1::btnCloseClick(TVrCustomShapeButton&) { controller.HideOrClose(); }

void TForm1::VrLabel1MouseDown(TVrBaseControl&, TMouseButton, TShiftState, int, int) {
    if (!window_) return;
    window_->ReleasePointer();
    (void)window_->BeginMove();
}

void TForm1::Show() {
    if (window_) window_->Show(true);
}

void TForm1::Hide() {
    if (window_) window_->Hide();
}

void TForm1::Close() { app_.Terminate(); }

bool TForm1::Visible() const { return window_ && window_->Visible(); }

void TForm1::SetCaption(const std::string& caption) { VrLabel1.SetCaption(caption); }

void TForm1::SetFontColor(Color color) { VrLabel1.SetFontColor(color); }

Area TForm1::AreaAt(Point client) {
    // The window's own answer is the client area everywhere; a visible, enabled control of any
    // kind keeps it (the two small labels too, though they lie below the visible area).
    bool controlUnder = host_.EnabledControlAt(client);
    for (const TLabel* l : {&Label1, &Label2})
        if (l->bounds.Contains(client)) controlUnder = true;
    return VrFormShape1.AreaAt(Area::Client, controlUnder);
}

void TForm1::Handle(const Event& e) {
    VrFormShape1.FilterEvent(e);
    if (const NeedsPaint* p = e.As<NeedsPaint>()) {
        host_.Paint(p->area, colors::kBlack);
    } else if (e.As<CloseAsked>()) {
        Close();  // asks no question and launches nothing
    } else if (const ResolutionChanged* r = e.As<ResolutionChanged>()) {
        ChangeDpi(r->dpi);
    } else if (e.As<PointerLeft>()) {
        host_.PointerLeft();
    } else if (e.As<GrabLost>()) {
        captionRightPress_ = false;
    } else if (const KeyPressed* k = e.As<KeyPressed>()) {
        if (k->key == Key::Menu && !k->withAlt && !hold.Active())
            ShowContextMenu({ClientWidth() / 2, ClientHeight() / 2});
    } else if (const PointerMoved* m = e.As<PointerMoved>()) {
        if (m->area == Area::Client) RouteMouse(m->at, nullptr, m->held);
    } else if (const ButtonChanged* b = e.As<ButtonChanged>()) {
        if (b->area == Area::Client) {
            RouteMouse(b->at, b, b->held);
        } else if (b->button == PointerButton::Right && !b->down) {
            if (captionRightPress_) {
                captionRightPress_ = false;
                if (window_) window_->ReleasePointer();
            }
            if (!hold.Active()) ShowContextMenu(b->at);
        } else if (b->button == PointerButton::Right && !b->doubleClick && window_ && !host_.Capturing()) {
            // As the window system does for a right press on a caption, the window holds the
            // pointer until the button is released; the release comes in the client area.
            captionRightPress_ = true;
            window_->CapturePointer();
        }
    }
}

void TForm1::RouteMouse(Point at, const ButtonChanged* button, HeldKeys held) {
    const bool release = button && !button->down;
    // The right press on the background ends with its release: the hold goes, and with it
    // the background's pause from dragging.
    if (captionRightPress_ && release && !held.ButtonHeld()) {
        captionRightPress_ = false;
        if (window_) window_->ReleasePointer();
    }
    // While our own message box is open the window takes no clicks.
    if (hold.Active()) return;
    host_.RoutePointer(at, button, held);
    // The window system turns a right-button release into the context-menu request.
    if (release && button->button == PointerButton::Right) ShowContextMenu(at);
}

void TForm1::ShowContextMenu(Point client) {
    if (!window_) return;
    const int choice = PopupMenu(platform_, *window_, PopupMenu1, client);
    if (choice == 0)
        StartCommand11Click();
    else if (choice == 1)
        StartCommand21Click();
}

void SettlePendingLaunches(Platform& platform) {
    // The loop has ended: a box shown now serves itself and the window alone.
    platform.AttachLoop(nullptr);
    platform.FinishPendingLaunches();
}

int RunProgram(Platform& platform) {
    EventLoop loop(platform);
    platform.AttachLoop(&loop);
    TApplication app(platform, loop);
    app.SetTitle(kApplicationTitle);
    app.CreateHandle();
    {
        TForm1 form(app, platform);
        if (app.ShowMainForm() && !loop.QuitRequested()) form.Show();
        loop.Run();
        SettlePendingLaunches(platform);
    }
    platform.AttachLoop(nullptr);
    return 0;
}

}  // namespace vreko
