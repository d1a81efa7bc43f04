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

void HeadlessWindow::Show(bool activate) {
    if (!visible_) invalid = true;
    visible_ = true;
    ++showCount;
    if (activate) {
        ++activations;
        platform_.SetActive(true);
    }
}

void HeadlessWindow::Hide() {
    visible_ = false;
    platform_.SetActive(false);
}

void HeadlessWindow::Invalidate(const Rect*) { invalid = true; }

void HeadlessWindow::ReleaseCapture() {
    if (!captured) return;
    captured = false;
    NotifyCaptureLost(handler_);
}

std::unique_ptr<Painter> HeadlessWindow::BeginPaint(Rect& area) {
    area = {0, 0, desc_.width, desc_.height};
    invalid = false;
    return std::make_unique<RecordingPainter>(ops, area);
}

std::unique_ptr<Painter> HeadlessWindow::GetDC() {
    if (!visible_) return nullptr;
    return std::make_unique<RecordingPainter>(ops, Rect{0, 0, desc_.width, desc_.height});
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

// ---- HeadlessPlatform ------------------------------------------------------------------

HeadlessPlatform::HeadlessPlatform(std::shared_ptr<HeadlessWorld> world) : world_(std::move(world)) {}

HeadlessPlatform::~HeadlessPlatform() { Kill(); }

void HeadlessPlatform::Kill() {
    if (appWindow_) world_->appWindows.erase(appWindow_);
    appWindow_ = 0;
    // A copy that goes away without closing its handles leaves its mutexes abandoned.
    for (auto& [h, name] : handles_) {
        auto& m = world_->mutexes[name];
        if (m.owner == this) {
            m.owner = nullptr;
            m.count = 0;
        }
        if (--m.refs == 0) world_->mutexes.erase(name);
    }
    handles_.clear();
}

void HeadlessPlatform::Wait(std::int64_t timeoutMs) {
    if (timeoutMs < 0) now_ = std::max(now_, target_);
    else now_ = std::max(now_, std::min(target_, now_ + timeoutMs));
}

bool HeadlessPlatform::Next(Message& out) {
    // A pending paint is delivered once nothing else is queued, as a window system does.
    if (!input_.empty()) {
        out = input_.front();
        input_.pop_front();
        return true;
    }
    for (HeadlessWindow* w : windows_) {
        if (w->invalid && w->Visible()) {
            out = Message{};
            out.window = &w->handler();
            out.message = msg::kPaint;
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

std::intptr_t HeadlessPlatform::StartFile(const std::string& file, const std::string& params) {
    launches.push_back({file, params, now_});
    const std::intptr_t result = shellResult ? shellResult(file) : 42;
    if (result == kStartPending) ++pendingStarts_;
    return result;
}

void HeadlessPlatform::DecideStart(std::intptr_t result) {
    if (pendingStarts_ == 0) return;
    --pendingStarts_;
    input_.push_back(StartDecidedMessage(result));
}

void HeadlessPlatform::FinishPendingStarts() {
    for (; pendingStarts_ > 0; --pendingStarts_) ReportStartOutcome(finishOutcome);
}

std::unique_ptr<NativeWindow> HeadlessPlatform::CreateMainWindow(NativeWindowHandler& handler, const WindowDesc& desc) {
    auto w = std::make_unique<HeadlessWindow>(*this, handler, desc);
    windows_.push_back(w.get());
    mainWindow = w.get();
    return w;
}

void HeadlessPlatform::SetActive(bool on) {
    if (on == active) return;
    active = on;
    if (!appHandler) return;
    Message m;
    m.window = appHandler;
    m.message = msg::kActivateApp;
    m.wParam = on ? 1 : 0;
    Inject(m);
}

void HeadlessPlatform::CreateAppWindow(const std::string& title, WindowHandler& handler) {
    appWindow_ = world_->nextWindow++;
    world_->appWindows[appWindow_] = {title, this};
    appHandler = &handler;
}

void HeadlessPlatform::ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    boxes.push_back({text, caption, icon, now_});
    if (whileBoxOpen) whileBoxOpen();
}

int HeadlessPlatform::TrackPopupMenu(const std::vector<std::string>& items, Point) {
    lastMenu = items;
    return menuChoice;
}

KernelHandle HeadlessPlatform::CreateNamedMutex(bool initialOwner, const std::string& name) {
    calls.push_back("CreateNamedMutex " + name);
    if (!mutexFailure.empty()) {
        lastError_ = kErrorOpenFailed;
        return 0;
    }
    if (auto existing = world_->mutexes.find(name);
        existing != world_->mutexes.end() && existing->second.elevated && !elevated) {
        lastError_ = kErrorAccessDenied;
        return 0;
    }
    auto [it, created] = world_->mutexes.try_emplace(name);
    if (created) it->second.elevated = elevated;
    ++it->second.refs;
    lastError_ = created ? 0 : kErrorAlreadyExists;
    if (created && initialOwner) {
        it->second.owner = this;
        it->second.count = 1;
    }
    KernelHandle h = nextHandle_++;
    handles_[h] = name;
    return h;
}

std::uint32_t HeadlessPlatform::WaitForSingleObject(KernelHandle h, std::uint32_t) {
    calls.push_back("WaitForSingleObject");
    auto it = handles_.find(h);
    if (it == handles_.end()) return kWaitFailed;
    auto& m = world_->mutexes[it->second];
    if (m.owner && m.owner != this) return kWaitTimeout;
    m.owner = this;
    ++m.count;
    return kWaitObject0;
}

void HeadlessPlatform::ReleaseMutex(KernelHandle h) {
    calls.push_back("ReleaseMutex");
    auto it = handles_.find(h);
    if (it == handles_.end()) return;
    auto& m = world_->mutexes[it->second];
    if (m.owner == this && --m.count == 0) m.owner = nullptr;
}

void HeadlessPlatform::CloseHandle(KernelHandle h) {
    calls.push_back("CloseHandle");
    auto it = handles_.find(h);
    if (it == handles_.end()) return;
    auto& m = world_->mutexes[it->second];
    if (--m.refs == 0) world_->mutexes.erase(it->second);
    handles_.erase(it);
}

WindowRef HeadlessPlatform::FindTopLevelWindow(WindowRef after, const std::string& className, const std::string& title) {
    calls.push_back("FindTopLevelWindow");
    if (className != "TApplication") return 0;
    auto it = after ? world_->appWindows.upper_bound(after) : world_->appWindows.begin();
    for (; it != world_->appWindows.end(); ++it)
        if (it->second.first == title) return it->first;
    return 0;
}

bool HeadlessPlatform::IsIconic(WindowRef w) {
    calls.push_back("IsIconic");
    auto it = world_->appWindows.find(w);
    return it != world_->appWindows.end() && it->second.second->iconic;
}

void HeadlessPlatform::OpenIcon(WindowRef w) {
    calls.push_back("OpenIcon");
    SetForegroundWindow(w);
    calls.pop_back();
}

void HeadlessPlatform::SetForegroundWindow(WindowRef w) {
    calls.push_back("SetForegroundWindow");
    auto it = world_->appWindows.find(w);
    if (it == world_->appWindows.end()) return;
    HeadlessPlatform* other = it->second.second;
    other->iconic = false;
    ++other->foregroundRequests;
    // The other copy hears that it has become the active application, unless it was already.
    other->SetActive(true);
}

}  // namespace vreko::headless
