// The in-memory backend: a manual clock, injected input, recorded launches, message boxes
// and drawing. Every test of the program's logic runs on it without a display.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vreko::headless {

// One recorded drawing operation, in client coordinates (origin applied).
struct DrawOp {
    std::string kind;  // "fill", "polygon", "polyline", "ellipse", "arc", "text"
    Rect rect;         // fill, ellipse and arc box; clip for text
    std::vector<Point> points;
    Color color = 0;   // fill colour or text colour
    Color pen = 0;
    int penWidth = 0;
    std::string text;
    Rect clip;
};

// Fixed font metrics: ascent 4/5 and descent 1/5 of the height, each character half as wide.
class RecordingPainter : public Painter {
public:
    explicit RecordingPainter(std::vector<DrawOp>& ops, Rect paintArea) : ops_(ops), area_(paintArea), clip_(paintArea) {}
    void SetOrigin(Point origin) override { origin_ = origin; }
    void SetClip(const Rect& r) override;
    void FillRect(const Rect& r, Color c) override;
    void Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) override;
    void Polyline(const std::vector<Point>& pts, Color pen, int penWidth) override;
    void Ellipse(const Rect& box, Color fill, Color pen, int penWidth) override;
    void Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) override;
    FontMetrics GetFontMetrics(const FontSpec& font) override;
    int TextWidth(const FontSpec& font, std::string_view utf8) override;
    void DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) override;

private:
    DrawOp Op(const char* kind) const;
    std::vector<Point> Shift(const std::vector<Point>& pts) const;
    std::vector<DrawOp>& ops_;
    Rect area_;
    Rect clip_;
    Point origin_;
};

class HeadlessWindow : public NativeWindow {
public:
    HeadlessWindow(class HeadlessPlatform& platform, NativeWindowHandler& handler, const WindowDesc& desc)
        : platform_(platform), handler_(handler), desc_(desc), pos_(desc.position) {}
    void Show(bool activate) override;
    void Hide() override;
    bool Visible() const override { return visible_; }
    Rect ScreenBounds() const override { return {pos_.x, pos_.y, pos_.x + desc_.width, pos_.y + desc_.height}; }
    void MoveTo(Point p) override { pos_ = p; }
    void SetBounds(const Rect& r) override {
        pos_ = {r.left, r.top};
        desc_.width = r.Width();
        desc_.height = r.Height();
    }
    void Invalidate(const Rect* r) override;
    std::unique_ptr<Painter> BeginPaint(Rect& area) override;
    std::unique_ptr<Painter> GetDC() override;
    void SetCursor(CursorKind kind) override { cursor = kind; }
    void SetCapture() override { captured = true; }
    // Letting go of a held capture tells the window at once, as the window system does.
    void ReleaseCapture() override;
    void BeginMoveDrag() override { ++moveDrags; }
    void SetRoundRectRegion(const Rect& box, int rx, int ry) override { region = box; regionRx = rx; regionRy = ry; }
    Point ScreenToClient(Point p) const override { return {p.x - pos_.x, p.y - pos_.y}; }
    Point ClientToScreen(Point p) const override { return {p.x + pos_.x, p.y + pos_.y}; }

    NativeWindowHandler& handler() { return handler_; }
    const WindowDesc& desc() const { return desc_; }

    std::vector<DrawOp> ops;     // everything drawn on the window, in order
    bool invalid = false;        // a paint message is pending
    int showCount = 0;
    int activations = 0;
    CursorKind cursor = CursorKind::Arrow;
    bool captured = false;
    int moveDrags = 0;
    Rect region;
    int regionRx = 0, regionRy = 0;

private:
    class HeadlessPlatform& platform_;
    NativeWindowHandler& handler_;
    WindowDesc desc_;
    Point pos_;
    bool visible_ = false;
};

// The settings file of the fake machine, in memory, with the text rules of the real one.
struct HeadlessSettingsFile {
    std::string path = "/opt/vreko/Vreko.INI";
    std::string text;
    bool writable = true;  // false: every write that would change the text fails
    int writes = 0;        // writes that changed the text
    std::string untrusted;  // why another user could have written the file; empty: nobody could
    std::string ignored;    // what the update lock left alone beside it
};

class MemorySettings : public SettingsStore {
public:
    explicit MemorySettings(std::shared_ptr<HeadlessSettingsFile> file) : file_(std::move(file)) {}
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const override;
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) override;
    const std::string& Path() const override { return file_->path; }
    std::string Untrusted() const override { return file_->untrusted; }
    std::string Ignored() const override { return file_->ignored; }

protected:
    std::unique_ptr<UpdateLock> TakeUpdateLock() override { return std::make_unique<UpdateLock>(); }

private:
    std::shared_ptr<HeadlessSettingsFile> file_;
};

// Mutexes and application windows shared by every HeadlessPlatform of the test process, as
// the kernel and the window system are shared by every copy of the program.
struct HeadlessWorld {
    struct Mutex {
        int refs = 0;
        const void* owner = nullptr;  // the platform (copy) that owns it
        int count = 0;
        bool elevated = false;  // made by an elevated copy: others may not open it
    };
    std::map<std::string, Mutex> mutexes;
    std::map<WindowRef, std::pair<std::string, class HeadlessPlatform*>> appWindows;  // title, copy
    WindowRef nextWindow = 1;
};

// A command the program launched, and when.
struct Launch {
    std::string file, params;
    std::int64_t at;
};

// The hold on automatic sleep of the fake machine: records when it was taken and let go, and how
// many commands had been launched by then.
class RecordingSleepHold : public SleepHold {
public:
    explicit RecordingSleepHold(const std::vector<Launch>& launches) : launches_(launches) {}
    void Take() override;
    void Release() override;
    bool held = false;
    struct Change {
        bool taken;               // true: taken; false: let go
        std::size_t launchesBefore;  // commands launched before the change
    };
    std::vector<Change> changes;

private:
    const std::vector<Launch>& launches_;
};

class HeadlessPlatform : public Platform {
public:
    explicit HeadlessPlatform(std::shared_ptr<HeadlessWorld> world = std::make_shared<HeadlessWorld>());
    ~HeadlessPlatform() override;

    // EventSource
    std::int64_t NowMs() override { return now_; }
    void Wait(std::int64_t timeoutMs) override;
    bool Next(Message& out) override;

    // Test driving: inject a native event (translated already), and let time pass, handling
    // everything that falls due on the way.
    void Inject(const Message& m) { input_.push_back(m); }
    void AdvanceBy(std::int64_t ms);
    // Handles everything pending now, without letting time pass.
    void Drain();
    // Time passes without the loop running, as inside a handler that keeps it busy.
    void Stall(std::int64_t ms) { now_ += ms; }
    // The copy's process ends at once, as by kill -9: the kernel abandons the mutexes it owns
    // and closes its handles, and its application window goes. Whatever this copy still calls
    // afterwards finds none of its handles, as a dead process would never call.
    void Kill();

    // Platform
    std::string ModuleFileName() override { return moduleFileName; }
    std::unique_ptr<SettingsStore> OpenSettings(const std::string& programPath) override;
    SettingsDefaults DefaultSettings() override { return settingsDefaults; }
    std::intptr_t StartFile(const std::string& file, const std::string& params) override;
    Rect PrimaryMonitor() override { return monitor; }
    Point CursorPos() override { return cursor; }
    int ScreenDpi() override { return dpi; }
    std::unique_ptr<NativeWindow> CreateMainWindow(NativeWindowHandler& handler, const WindowDesc& desc) override;
    void CreateAppWindow(const std::string& title, WindowHandler& handler) override;
    void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    int TrackPopupMenu(const std::vector<std::string>& items, Point screen) override;
    KernelHandle CreateNamedMutex(bool initialOwner, const std::string& name) override;
    std::uint32_t GetLastError() override { return lastError_; }
    std::string MutexFailureText() override { return mutexFailure; }
    std::uint32_t WaitForSingleObject(KernelHandle h, std::uint32_t timeoutMs) override;
    void ReleaseMutex(KernelHandle h) override;
    void CloseHandle(KernelHandle h) override;
    WindowRef OwnAppWindow() override { return appWindow_; }
    WindowRef FindTopLevelWindow(WindowRef after, const std::string& className, const std::string& title) override;
    bool IsWindow(WindowRef w) override { return world_->appWindows.count(w) != 0; }
    bool IsIconic(WindowRef w) override;
    void OpenIcon(WindowRef w) override;
    void SetForegroundWindow(WindowRef w) override;
    // Each start still pending gets finishOutcome.
    void FinishPendingStarts() override;

    // A start that returned kStartPending is decided: its outcome reaches the program through
    // the loop, as the next message.
    void DecideStart(std::intptr_t result);
    int PendingStarts() const { return pendingStarts_; }
    std::intptr_t finishOutcome = 42;

    // Settings of the fake machine.
    std::string moduleFileName = "/opt/vreko/vreko";
    Rect monitor{0, 0, 1920, 1080};
    int dpi = 96;
    bool iconic = false;
    Point cursor{-1000, -1000};
    // The settings file, and the program path it was opened for.
    std::shared_ptr<HeadlessSettingsFile> settings = std::make_shared<HeadlessSettingsFile>();
    std::string settingsOpenedFor;
    SettingsDefaults settingsDefaults{"10", "warn-default", "-w", "action-default", "-a", "Arial Black", "90",
                                      "0", "0", "1", "0"};
    // When set, no mutex can be created, and this is why.
    std::string mutexFailure;
    // The copy runs elevated: the mutexes it makes are closed to copies that do not.
    bool elevated = false;

    // What the program did.
    using Launch = headless::Launch;
    struct Box { std::string text, caption; MessageBoxIcon icon; std::int64_t at; };
    std::vector<Launch> launches;
    std::vector<Box> boxes;
    std::vector<std::string> calls;  // instance-guard calls, in order
    // Result of StartFile for a program path (default 42: started; kStartPending: decided later
    // by DecideStart or at the end).
    std::function<std::intptr_t(const std::string& file)> shellResult;
    // Runs while a message box is open (the box is closed when it returns).
    std::function<void()> whileBoxOpen;
    int menuChoice = -1;
    std::vector<std::string> lastMenu;
    int foregroundRequests = 0;  // times another copy brought this one forward
    HeadlessWindow* mainWindow = nullptr;
    RecordingSleepHold sleepHold{launches};
    SleepHold& AutomaticSleep() override { return sleepHold; }
    // The machine has slept and woken up again: the program hears it at once.
    void Wake() { ReportWake(); }
    // Whether one of this copy's windows has the focus; a window shown with activation takes
    // it and the copy hears that it has become the active application.
    bool active = false;
    void SetActive(bool on);
    WindowHandler* appHandler = nullptr;

private:
    std::shared_ptr<HeadlessWorld> world_;
    std::int64_t now_ = 0;
    std::int64_t target_ = 0;
    int pendingStarts_ = 0;
    std::deque<Message> input_;
    std::uint32_t lastError_ = 0;
    std::map<KernelHandle, std::string> handles_;
    KernelHandle nextHandle_ = 1;
    WindowRef appWindow_ = 0;
    std::vector<HeadlessWindow*> windows_;
    friend class HeadlessWindow;
};

}  // namespace vreko::headless
