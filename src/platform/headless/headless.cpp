#include "platform/headless/headless.h"

#include <algorithm>

#include "settings/ini_text.h"

namespace vreko::headless {

// ---- MemorySettings ------------------------------------------------------------------------

std::string MemorySettings::ReadString(std::string_view section, std::string_view key,
                                       std::string_view defaultText) const {
    std::optional<std::string> value = IniFindValue(file_->text, section, key);
    return value ? std::move(*value) : std::string(defaultText);
}

bool MemorySettings::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::optional<std::string> text = IniWithValue(file_->text, section, key, value, "\n");
    if (!text) return false;
    if (*text == file_->text) return true;
    if (!file_->writable || !file_->untrusted.empty()) return false;
    file_->text = std::move(*text);
    ++file_->writes;
    return true;
}

// ---- RecordingPainter ------------------------------------------------------------------

DrawOp RecordingPainter::Op(const char* kind) const {
    DrawOp op;
    op.kind = kind;
    op.clip = clip_;
    return op;
}

std::vector<Point> RecordingPainter::Shift(const std::vector<Point>& pts) const {
    std::vector<Point> out;
    for (Point p : pts) out.push_back({p.x + origin_.x, p.y + origin_.y});
    return out;
}

void RecordingPainter::SetClip(const Rect& r) {
    clip_ = {std::max(r.left, area_.left), std::max(r.top, area_.top), std::min(r.right, area_.right),
             std::min(r.bottom, area_.bottom)};
}

void RecordingPainter::FillRect(const Rect& r, Color c) {
    DrawOp op = Op("fill");
    op.rect = r.Offset(origin_.x, origin_.y);
    op.color = c;
    ops_.push_back(op);
}

void RecordingPainter::Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) {
    DrawOp op = Op("polygon");
    op.points = Shift(pts);
    op.color = fill;
    op.pen = pen;
    op.penWidth = penWidth;
    ops_.push_back(op);
}

void RecordingPainter::Polyline(const std::vector<Point>& pts, Color pen, int penWidth) {
    DrawOp op = Op("polyline");
    op.points = Shift(pts);
    op.pen = pen;
    op.penWidth = penWidth;
    ops_.push_back(op);
}

void RecordingPainter::Ellipse(const Rect& box, Color fill, Color pen, int penWidth) {
    DrawOp op = Op("ellipse");
    op.rect = box.Offset(origin_.x, origin_.y);
    op.color = fill;
    op.pen = pen;
    op.penWidth = penWidth;
    ops_.push_back(op);
}

void RecordingPainter::Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) {
    DrawOp op = Op("arc");
    op.rect = box.Offset(origin_.x, origin_.y);
    op.points = Shift({start, end});
    op.pen = pen;
    op.penWidth = penWidth;
    ops_.push_back(op);
}

FontMetrics RecordingPainter::GetFontMetrics(const FontSpec& font) {
    int h = font.height < 0 ? -font.height : font.height;
    return {h * 4 / 5, h / 5, h / 2};
}

int RecordingPainter::TextWidth(const FontSpec& font, std::string_view utf8) {
    int h = font.height < 0 ? -font.height : font.height;
    int chars = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++chars;
    return chars * (h / 2);
}

void RecordingPainter::DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) {
    (void)font;
    DrawOp op = Op("text");
    op.points = {{x + origin_.x, baselineY + origin_.y}};
    op.text = std::string(utf8);
    op.color = c;
    ops_.push_back(op);
}

// ---- HeadlessWindow --------------------------------------------------------------------

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, WindowHandler& handler, const WindowDesc& desc)
    : platform_(platform), handler_(handler), desc_(desc) {
    Place(desc.placement);
}

HeadlessWindow::~HeadlessWindow() {
    auto& all = platform_.windows_;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    auto& popups = platform_.popups;
    popups.erase(std::remove(popups.begin(), popups.end(), this), popups.end());
    if (platform_.mainWindow == this) platform_.mainWindow = nullptr;
    // What was still on its way to the window goes with it.
    auto& input = platform_.input_;
    input.erase(std::remove_if(input.begin(), input.end(), [this](const Event& e) { return e.target == &handler_; }),
                input.end());
}

void HeadlessWindow::Show(bool activate) {
    if (!visible_) invalid = true;
    visible_ = true;
    ++showCount;
    if (menu) captured = true;
    if (activate) {
        ++activations;
        platform_.SetActive(true);
    }
}

void HeadlessWindow::Hide() {
    visible_ = false;
    platform_.SetActive(false);
}

void HeadlessWindow::Place(const Placement& placement) {
    const Rect& m = platform_.monitor;
    pos_ = placement.centred ? Point{m.left + std::max(0, (m.Width() - desc_.width) / 2),
                                     m.top + std::max(0, (m.Height() - desc_.height) / 2)}
                             : placement.at;
}

void HeadlessWindow::Resize(int width, int height) {
    const Point centre{pos_.x + desc_.width / 2, pos_.y + desc_.height / 2};
    desc_.width = width;
    desc_.height = height;
    pos_ = {centre.x - width / 2, centre.y - height / 2};
}

void HeadlessWindow::Invalidate(const Rect*) { invalid = true; }

void HeadlessWindow::ReleasePointer() {
    if (!captured) return;
    captured = false;
    handler_.Handle(Event{&handler_, GrabLost{}});
}

bool HeadlessWindow::BeginMove() {
    if (!DispatchingLeftPress(platform_.Loop(), handler_)) return false;
    ++moveDrags;
    return true;
}

std::unique_ptr<Painter> HeadlessWindow::Draw(const Rect& area) {
    if (!visible_) return nullptr;
    const Rect client{0, 0, desc_.width, desc_.height};
    return std::make_unique<RecordingPainter>(
        ops, Rect{std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, client.right),
                  std::min(area.bottom, client.bottom)});
}

// ---- RecordingSleepHold ------------------------------------------------------------------

void RecordingSleepHold::Take() {
    if (held) return;
    held = true;
    changes.push_back({true, launches_.size()});
}

void RecordingSleepHold::Release() {
    if (!held) return;
    held = false;
    changes.push_back({false, launches_.size()});
}

// ---- named locks -----------------------------------------------------------------------

class HeadlessNamedLock : public NamedLock {
public:
    HeadlessNamedLock(HeadlessPlatform& platform, std::string name) : platform_(&platform), name_(std::move(name)) {
        platform.open_.emplace(name_, this);
    }
    ~HeadlessNamedLock() override { Close(); }
    LockWait TakeWithin(int) override {
        if (!platform_) return LockWait::Failed;
        platform_->calls.push_back("Wait");
        auto& lock = platform_->world_->locks[name_];
        if (lock.holder && lock.holder != platform_) return LockWait::TimedOut;
        lock.holder = platform_;
        return LockWait::Taken;
    }
    void Release() override {
        if (!platform_) return;
        platform_->calls.push_back("Release");
        auto& lock = platform_->world_->locks[name_];
        if (lock.holder == platform_) lock.holder = nullptr;
    }
    // Closes the lock, letting go of it, as the end of its process does too.
    void Close() {
        if (!platform_) return;
        auto& locks = platform_->world_->locks;
        auto& lock = locks[name_];
        // The copy's other locks of the same name keep the hold.
        const bool others = platform_->open_.count(name_) > 1;
        if (lock.holder == platform_ && !others) lock.holder = nullptr;
        if (--lock.refs == 0) locks.erase(name_);
        for (auto it = platform_->open_.find(name_); it != platform_->open_.end() && it->first == name_; ++it)
            if (it->second == this) {
                platform_->open_.erase(it);
                break;
            }
        platform_ = nullptr;
    }

private:
    HeadlessPlatform* platform_;
    std::string name_;
};

// ---- HeadlessPlatform ------------------------------------------------------------------

HeadlessPlatform::HeadlessPlatform(std::shared_ptr<HeadlessWorld> world) : world_(std::move(world)) {}

HeadlessPlatform::~HeadlessPlatform() { Kill(); }

void HeadlessPlatform::Kill() {
    if (appWindow_) world_->appWindows.erase(appWindow_);
    appWindow_ = 0;
    // A copy that goes away lets go of the locks it held.
    while (!open_.empty()) open_.begin()->second->Close();
}

void HeadlessPlatform::Wait(std::int64_t timeoutMs) {
    const std::int64_t before = now_;
    if (timeoutMs < 0)
        now_ = std::max(now_, target_);
    else
        now_ = std::max(now_, std::min(target_, now_ + timeoutMs));
    if (now_ != before || !input_.empty() || popups.empty() || !popups.back()->Visible() || inPopupTurn_) return;
    // Time can pass no further with a box or menu open: the user acts on it, or, when the
    // test says nothing, the window manager closes it.
    HeadlessWindow& popup = *popups.back();
    if (!whilePopupOpen) {
        ++popupsClosedUntouched;
        Inject(Event{&popup.handler(), CloseAsked{}});
        return;
    }
    inPopupTurn_ = true;
    whilePopupOpen(popup);
    inPopupTurn_ = false;
}

bool HeadlessPlatform::Next(Event& out) {
    // A pending paint is delivered once nothing else is queued, as a window system does.
    if (!input_.empty()) {
        out = input_.front();
        input_.pop_front();
        return true;
    }
    for (HeadlessWindow* w : windows_) {
        if (w->invalid && w->Visible()) {
            out = Event{&w->handler(), NeedsPaint{{0, 0, w->desc().width, w->desc().height}}};
            w->invalid = false;
            return true;
        }
    }
    return false;
}

void HeadlessPlatform::Drain() {
    while (loop_ && !loop_->QuitRequested() && loop_->ProcessOne()) {
    }
}

void HeadlessPlatform::AdvanceBy(std::int64_t ms) {
    const std::int64_t outerTarget = target_;
    target_ = now_ + ms;
    for (;;) {
        Drain();
        if (!loop_ || loop_->QuitRequested() || now_ >= target_) break;
        loop_->WaitForWork();
    }
    target_ = std::max(outerTarget, now_);
}

std::unique_ptr<SettingsStore> HeadlessPlatform::OpenSettings(const std::string& programPath) {
    settingsOpenedFor = programPath;
    return std::make_unique<MemorySettings>(settings);
}

Launched HeadlessPlatform::Launch(const std::string& file, const std::string& params) {
    launches.push_back({file, params, now_});
    const LaunchOutcome outcome = shellResult ? shellResult(file) : LaunchOutcome::Started;
    if (outcome == LaunchOutcome::Pending) ++pendingLaunches_;
    return {outcome, outcome == LaunchOutcome::NotStarted ? "not found" : ""};
}

void HeadlessPlatform::DecideLaunch(LaunchOutcome outcome) {
    if (pendingLaunches_ == 0) return;
    --pendingLaunches_;
    ReportLaunchOutcome({outcome, {}});
}

void HeadlessPlatform::FinishPendingLaunches() {
    for (; pendingLaunches_ > 0; --pendingLaunches_) ReportLaunchOutcome({finishOutcome, {}});
}

std::unique_ptr<Window> HeadlessPlatform::CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) {
    auto w = std::make_unique<HeadlessWindow>(*this, handler, desc);
    windows_.push_back(w.get());
    mainWindow = w.get();
    return w;
}

std::unique_ptr<Window> HeadlessPlatform::CreatePopup(WindowHandler& handler, const PopupDesc& desc) {
    WindowDesc d;
    d.title = desc.title;
    d.width = desc.width;
    d.height = desc.height;
    d.placement = desc.placement;
    if (desc.kind == PopupDesc::Kind::Menu) {
        const Rect owner = desc.owner ? static_cast<HeadlessWindow*>(desc.owner)->ScreenBounds() : Rect{};
        d.placement = {false, {owner.left + desc.at.x, owner.top + desc.at.y}};
    }
    auto w = std::make_unique<HeadlessWindow>(*this, handler, d);
    w->menu = desc.kind == PopupDesc::Kind::Menu;
    windows_.push_back(w.get());
    popups.push_back(w.get());
    return w;
}

std::unique_ptr<Painter> HeadlessPlatform::MeasuringPainter() {
    measured_.clear();
    return std::make_unique<RecordingPainter>(measured_, Rect{});
}

void HeadlessPlatform::Wake() {
    if (!appHandler) return;
    Inject(Event{appHandler, MachineWoke{}});
    Drain();
}

void HeadlessPlatform::SetActive(bool on) {
    if (on == active) return;
    active = on;
    if (!appHandler) return;
    if (on) Inject(Event{appHandler, BecameActive{}});
}

void HeadlessPlatform::CreateAppWindow(const std::string& title, EventHandler& handler) {
    appWindow_ = world_->nextWindow++;
    world_->appWindows[appWindow_] = {title, this};
    appHandler = &handler;
}

bool HeadlessPlatform::ShowNativeMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    if (!nativePopups) return false;
    boxes.push_back({text, caption, icon, now_});
    if (whileBoxOpen) whileBoxOpen();
    return true;
}

std::optional<int> HeadlessPlatform::NativePopupMenu(Window&, const std::vector<std::string>& items, Point client) {
    if (!nativePopups) return std::nullopt;
    lastMenu = items;
    lastMenuAt = client;
    return menuChoice;
}

std::unique_ptr<NamedLock> HeadlessPlatform::MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) {
    calls.push_back("OpenNamedLock " + name);
    if (!lockFailure.empty()) {
        how = LockOpened::Failed;
        return nullptr;
    }
    if (auto existing = world_->locks.find(name);
        existing != world_->locks.end() && existing->second.elevated && !elevated) {
        how = LockOpened::Denied;
        return nullptr;
    }
    auto [it, created] = world_->locks.try_emplace(name);
    if (created) it->second.elevated = elevated;
    ++it->second.refs;
    how = created ? LockOpened::Created : LockOpened::Existed;
    if (created && takeNow) it->second.holder = this;
    return std::make_unique<HeadlessNamedLock>(*this, name);
}

WindowRef HeadlessPlatform::FindAppWindow(WindowRef after, const std::string& className, const std::string& title) {
    calls.push_back("FindAppWindow");
    if (className != "TApplication") return 0;
    auto it = after ? world_->appWindows.upper_bound(after) : world_->appWindows.begin();
    for (; it != world_->appWindows.end(); ++it)
        if (it->second.first == title) return it->first;
    return 0;
}

bool HeadlessPlatform::IsMinimised(WindowRef w) {
    calls.push_back("IsMinimised");
    auto it = world_->appWindows.find(w);
    return it != world_->appWindows.end() && it->second.second->iconic;
}

void HeadlessPlatform::Restore(WindowRef w, std::uint64_t token) {
    calls.push_back("Restore");
    BringForward(w, token);
    calls.pop_back();
}

void HeadlessPlatform::BringForward(WindowRef w, std::uint64_t) {
    calls.push_back("BringForward");
    auto it = world_->appWindows.find(w);
    if (it == world_->appWindows.end()) return;
    HeadlessPlatform* other = it->second.second;
    other->iconic = false;
    ++other->foregroundRequests;
    // The other copy hears that it has become the active application, unless it was already.
    other->SetActive(true);
}

}  // namespace vreko::headless
