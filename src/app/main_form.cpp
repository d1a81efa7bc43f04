#include "app/main_form.h"

#include <algorithm>
#include <cmath>

#include "settings/settings.h"

namespace vreko {

namespace {

TShiftState ShiftOf(const Message& m) {
    TShiftState s;
    s.keys = std::uint32_t(m.wParam & 0xFFFF);
    s.doubleClick = m.message == msg::kLButtonDblClk || m.message == msg::kRButtonDblClk ||
                    m.message == msg::kMButtonDblClk;
    return s;
}

TMouseButton ButtonOf(std::uint32_t message) {
    switch (message) {
        case msg::kRButtonDown: case msg::kRButtonUp: case msg::kRButtonDblClk: return TMouseButton::mbRight;
        case msg::kMButtonDown: case msg::kMButtonUp: case msg::kMButtonDblClk: return TMouseButton::mbMiddle;
        default: return TMouseButton::mbLeft;
    }
}

// The parts of area that rect does not cover.
std::vector<Rect> Subtract(const Rect& area, const Rect& rect) {
    if (!area.Intersects(rect)) return {area};
    std::vector<Rect> out;
    if (rect.top > area.top) out.push_back({area.left, area.top, area.right, rect.top});
    if (rect.bottom < area.bottom) out.push_back({area.left, rect.bottom, area.right, area.bottom});
    const int top = std::max(area.top, rect.top), bottom = std::min(area.bottom, rect.bottom);
    if (rect.left > area.left) out.push_back({area.left, top, rect.left, bottom});
    if (rect.right < area.right) out.push_back({rect.right, top, area.right, bottom});
    return out;
}

}  // namespace

TForm1::TForm1(TApplication& app, Platform& platform)
    : app_(app),
      platform_(platform),
      dpi_(std::max(1, platform.ScreenDpi())),
      VrLabel1(this),
      btnUp(this),
      btnDown(this),
      btnClose(this),
      OneInstance1(platform, app, hold),
      launcher(platform, hold),
      controller(app.loop(), *this, {readout, Label1, Label2}, launcher, hold, platform.AutomaticSleep()),
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
    for (const ButtonDesign& d : {ButtonDesign{btnUp, TVrShapeType::stDirectUp, 0},
                                  ButtonDesign{btnDown, TVrShapeType::stDirectDown, 1},
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
    loading_ = false;
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
    platform_.OnWake = nullptr;
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
    const Rect old = window_->ScreenBounds();
    const Point centre{old.left + old.Width() / 2, old.top + old.Height() / 2};
    position_ = {centre.x - ClientWidth() / 2, centre.y - ClientHeight() / 2};
    window_->SetBounds({position_.x, position_.y, position_.x + ClientWidth(), position_.y + ClientHeight()});
    VrFormShape1.Resize(ClientWidth(), ClientHeight());
    window_->Invalidate(nullptr);
}

int TForm1::Scale(int designValue) const {
    if (dpi_ == 96) return designValue;
    return int(std::lround(double(designValue) * dpi_ / 96.0));
}

void TForm1::CreateHandle() {
    // At its first showing the window is centred on the primary monitor.
    const Rect screen = platform_.PrimaryMonitor();
    position_ = {screen.left + std::max(0, (screen.Width() - ClientWidth()) / 2),
                 screen.top + std::max(0, (screen.Height() - ClientHeight()) / 2)};
    WindowDesc desc;
    desc.title = app_.Title();
    desc.width = ClientWidth();
    desc.height = ClientHeight();
    desc.position = position_;
    window_ = platform_.CreateMainWindow(*this, desc);
}

void TForm1::FormCreate() {
    app_.OnActivate = [this] { AppOnActivate(); };
    app_.OnMessage = [this](const Message& m, bool& handled) { AppOnMessage(m, handled); };
    platform_.OnWake = [this] { AppOnWake(); };

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
    if (!s.PositionCenter && window_) {
        position_ = {s.PositionLeft, s.PositionTop};
        window_->MoveTo(position_);
    }
    settingsComplete_ = !error.has_value();
    // After a failure the reset is skipped: the readout keeps its design look until the first dial.
    if (settingsComplete_) controller.Reset();
    // One box tells the failure and what else the user must know about the settings file.
    std::string message = error ? *error : std::string();
    if (!s.notice.empty()) message += (message.empty() ? "" : "\n\n") + s.notice;
    if (!message.empty()) {
        // The idle timer waits while the user reads the message, so it cannot end the program under it.
        ModalHold::Scope holdTicks(hold);
        platform_.ShowMessageBox(message, app_.Title(), error ? MessageBoxIcon::Error : MessageBoxIcon::Exclamation);
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

void TForm1::AppOnMessage(const Message& Msg, bool& Handled) { vreko::AppOnMessage(Msg, Handled, inputTargets_); }

void TForm1::btnUpClick(TVrCustomShapeButton& Sender) { controller.StepTime(Sender.Tag); }

void TForm1::btnCloseClick(TVrCustomShapeButton&) { controller.HideOrClose(); }

void TForm1::VrLabel1MouseDown(TVrBaseControl&, TMouseButton, TShiftState, int, int) {
    if (!window_) return;
    window_->ReleaseCapture();
    capture_ = nullptr;
    window_->BeginMoveDrag();
}

void TForm1::Show() {
    if (window_) window_->Show(true);
}

void TForm1::Hide() {
    if (window_) window_->Hide();
}

void TForm1::Close() { app_.Terminate(); }

bool TForm1::Visible() const { return window_ && window_->Visible(); }

Point TForm1::ClientToScreen(Point p) { return window_ ? window_->ClientToScreen(p) : p; }

std::unique_ptr<Painter> TForm1::GetControlDC() {
    if (!window_ || !window_->Visible()) return nullptr;
    return window_->GetDC();
}

void TForm1::InvalidateControlRect(const Rect& r, bool) {
    if (window_) window_->Invalidate(&r);
}

std::vector<TVrBaseControl*> TForm1::Controls() { return {&VrLabel1, &btnUp, &btnDown, &btnClose}; }

TVrBaseControl* TForm1::ControlAt(Point client) {
    auto controls = Controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        if ((*it)->Visible && (*it)->BoundsRect().Contains(client)) return *it;
    return nullptr;
}

int TForm1::NcHitTest(Point client) {
    // The window's own answer is a client hit everywhere; a visible, enabled control of any
    // kind keeps it (the two small labels too, though they lie below the visible area).
    bool controlUnder = false;
    for (TVrBaseControl* c : Controls())
        if (c->Visible && c->Enabled && c->BoundsRect().Contains(client)) controlUnder = true;
    for (const TLabel* l : {&Label1, &Label2})
        if (l->bounds.Contains(client)) controlUnder = true;
    return VrFormShape1.HitTest(kHtClient, controlUnder);
}

void TForm1::WndProc(const Message& m) {
    VrFormShape1.FilterMessage(m);
    switch (m.message) {
        case msg::kPaint:
            Paint();
            return;
        case msg::kClose:
            Close();  // asks no question and launches nothing
            return;
        case msg::kDpiChanged:
            ChangeDpi(int(m.wParam & 0xFFFF));
            return;
        case msg::kMouseLeave:
            if (hover_ && !capture_) hover_->MouseLeave();
            if (!capture_) hover_ = nullptr;
            return;
        case msg::kKeyDown:
            if (m.wParam == vk::kApps && !hold.Active() && window_) {
                ShowContextMenu(window_->ClientToScreen({ClientWidth() / 2, ClientHeight() / 2}));
            }
            return;
        case msg::kNcRButtonUp:
            if (captionRightPress_) {
                captionRightPress_ = false;
                if (window_) window_->ReleaseCapture();
            }
            if (!hold.Active()) ShowContextMenu(m.pt);
            return;
        case msg::kNcRButtonDown:
            // As the window system does for a right press on a caption, the window holds the
            // pointer until the button is released; the release comes as client input.
            if (window_ && !capture_) {
                captionRightPress_ = true;
                window_->SetCapture();
            }
            return;
        case msg::kCaptureChanged:
            captionRightPress_ = false;
            return;
        default:
            break;
    }
    if (m.message >= msg::kMouseMove && m.message <= msg::kMButtonDblClk) RouteMouse(m);
}

void TForm1::RouteMouse(const Message& m) {
    const bool release = m.message == msg::kLButtonUp || m.message == msg::kRButtonUp || m.message == msg::kMButtonUp;
    constexpr std::uint64_t kAnyButton = mk::kLButton | mk::kRButton | mk::kMButton;
    // The right press on the background ends with its release: the capture goes, and with it
    // the background's pause from dragging.
    if (captionRightPress_ && release && (m.wParam & kAnyButton) == 0) {
        captionRightPress_ = false;
        if (window_) window_->ReleaseCapture();
    }
    // While our own message box is open the window takes no clicks.
    if (hold.Active()) return;
    const Point p = PointFromParam(m.lParam);
    const TShiftState shift = ShiftOf(m);
    const bool press = m.message == msg::kLButtonDown || m.message == msg::kRButtonDown ||
                       m.message == msg::kMButtonDown || shift.doubleClick;

    TVrBaseControl* target = capture_;
    if (!target) {
        TrackHover(p);
        target = hover_;
    }
    if (target) {
        const int x = p.x - target->Left, y = p.y - target->Top;
        if (press) {
            if (target->CapturesMouse() && window_) {
                capture_ = target;
                window_->SetCapture();
            }
            target->MouseDown(ButtonOf(m.message), shift, x, y);
        } else if (release) {
            target->MouseUp(ButtonOf(m.message), shift, x, y);
        } else {
            target->MouseMove(shift, x, y);
        }
    }
    if (release && capture_ && (m.wParam & kAnyButton) == 0) {
        capture_ = nullptr;
        if (window_) window_->ReleaseCapture();
        // The pointer may have left the control while it held the capture.
        TrackHover(p);
    }
    // The window system turns a right-button release into the context-menu request.
    if (m.message == msg::kRButtonUp && window_) ShowContextMenu(window_->ClientToScreen(p));
}

void TForm1::TrackHover(Point client) {
    TVrBaseControl* under = ControlAt(client);
    if (under != hover_) {
        if (hover_) hover_->MouseLeave();
        hover_ = under;
        if (hover_) hover_->MouseEnter();
    }
    if (window_) window_->SetCursor(under && under->handCursor ? CursorKind::Hand : CursorKind::Arrow);
}

void TForm1::ShowContextMenu(Point screen) {
    const int choice = platform_.TrackPopupMenu(PopupMenu1, screen);
    if (choice == 0) StartCommand11Click();
    else if (choice == 1) StartCommand21Click();
}

void TForm1::Paint() {
    if (!window_) return;
    Rect area;
    std::unique_ptr<Painter> surface = window_->BeginPaint(area);
    if (!surface) return;
    // The window's own background, except under its opaque controls.
    std::vector<Rect> background{area};
    for (TVrBaseControl* c : Controls()) {
        if (!c->Visible || !c->Opaque()) continue;
        std::vector<Rect> rest;
        for (const Rect& r : background)
            for (const Rect& piece : Subtract(r, c->BoundsRect())) rest.push_back(piece);
        background = std::move(rest);
    }
    surface->SetOrigin({0, 0});
    for (const Rect& r : background) {
        surface->SetClip(area);
        surface->FillRect(r, colors::kBlack);
    }
    for (TVrBaseControl* c : Controls())
        if (c->Visible && c->BoundsRect().Intersects(area)) c->PaintOn(*surface);
}

void SettlePendingStarts(Platform& platform) {
    // The loop has ended: a box shown now serves itself and the window alone.
    platform.AttachLoop(nullptr);
    platform.FinishPendingStarts();
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
        SettlePendingStarts(platform);
    }
    platform.AttachLoop(nullptr);
    return 0;
}

}  // namespace vreko
