// The in-memory backend: a manual clock, injected input, recorded launches, message boxes
// and drawing. Every test of the program's logic runs on it without a display.
#pragma once

#include <deque>
#include <functional>
#include <optional>
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
    Color color = 0;  // fill colour or text colour
    Color pen = 0;
    int penWidth = 0;
    std::string text;
    Rect clip;
};

// Fixed font metrics: ascent 4/5 and descent 1/5 of the height, each character half as wide.
class RecordingPainter : public Painter {
public:
    explicit RecordingPainter(std::vector<DrawOp>& ops, Rect paintArea)
        : ops_(ops), area_(paintArea), clip_(paintArea) {}
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

class HeadlessWindow : public Window {
public:
    HeadlessWindow(class HeadlessPlatform& platform, WindowHandler& handler, const WindowDesc& desc);
    ~HeadlessWindow() override;
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;
    void Show(bool activate) override;
    void Hide() override;
    bool Visible() const override { return visible_; }
    void Place(const Placement& placement) override;
    void Resize(int width, int height) override;
    void Invalidate(const Rect* r) override;
    std::unique_ptr<Painter> Draw(const Rect& area) override;
    void SetCursor(CursorKind kind) override { cursor = kind; }
    void CapturePointer() override { captured = true; }
    // Letting go of a held pointer tells the window at once, as the window system does.
    void ReleasePointer() override;
    std::optional<Point> PointerPosition() override { return pointer; }
    bool BeginMove() override;
    void SetRoundedOutline(const Rect& box, int rx, int ry) override {
        region = box;
        regionRx = rx;
        regionRy = ry;
    }

    WindowHandler& handler() { return handler_; }
    const WindowDesc& desc() const { return desc_; }
    // Where the window is on the fake screen.
    Rect ScreenBounds() const { return {pos_.x, pos_.y, pos_.x + desc_.width, pos_.y + desc_.height}; }
    // Where a pointer event at this client point lies, as a backend asks the window: a held
    // pointer always stays in the client area.
    Area AreaOf(Point client) { return captured ? Area::Client : handler_.AreaAt(client); }

    std::vector<DrawOp> ops;  // everything drawn on the window, in order
    bool invalid = false;     // a paint is pending
    int showCount = 0;
    int activations = 0;
    CursorKind cursor = CursorKind::Arrow;
    bool captured = false;
    int moveDrags = 0;
    Rect region;
    int regionRx = 0, regionRy = 0;
    std::optional<Point> pointer;  // the pointer's position in client coordinates, if known
    bool menu = false;             // a popup menu: it holds the pointer once shown

private:
    class HeadlessPlatform& platform_;
    WindowHandler& handler_;
    WindowDesc desc_;
    Point pos_;
    bool visible_ = false;
};

// The settings file of the fake machine, in memory, with the text rules of the real one.
struct HeadlessSettingsFile {
    std::string path = "/opt/vreko/Vreko.INI";
    std::string text;
    bool writable = true;   // false: every write that would change the text fails
    int writes = 0;         // writes that changed the text
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

// Named locks and application windows shared by every HeadlessPlatform of the test process, as
// the kernel and the window system are shared by every copy of the program.
struct HeadlessWorld {
    struct Lock {
        int refs = 0;
        const void* holder = nullptr;  // the platform (copy) that holds it
        bool elevated = false;         // made by an elevated copy: others may not open it
    };
    std::map<std::string, Lock> locks;
    std::map<WindowRef, std::pair<std::string, class HeadlessPlatform*>> appWindows;  // title, copy
    WindowRef nextWindow = 1;
};

// A command the program launched, and when.
struct LaunchRecord {
    std::string file, params;
    std::int64_t at;
};

// The hold on automatic sleep of the fake machine: records when it was taken and let go, and how
// many commands had been launched by then.
class RecordingSleepHold : public SleepHold {
public:
    explicit RecordingSleepHold(const std::vector<LaunchRecord>& launches) : launches_(launches) {}
    void Take() override;
    void Release() override;
    bool held = false;
    struct Change {
        bool taken;                  // true: taken; false: let go
        std::size_t launchesBefore;  // commands launched before the change
    };
    std::vector<Change> changes;

private:
    const std::vector<LaunchRecord>& launches_;
};

class HeadlessPlatform : public Platform {
public:
    explicit HeadlessPlatform(std::shared_ptr<HeadlessWorld> world = std::make_shared<HeadlessWorld>());
    ~HeadlessPlatform() override;

    // EventSource
    std::int64_t NowMs() override { return now_; }
    void Wait(std::int64_t timeoutMs) override;
    bool Next(Event& out) override;

    // Test driving: inject a native event (translated already), and let time pass, handling
    // everything that falls due on the way.
    void Inject(const Event& e) { input_.push_back(e); }
    void AdvanceBy(std::int64_t ms);
    // Handles everything pending now, without letting time pass.
    void Drain();
    // Time passes without the loop running, as inside a handler that keeps it busy.
    void Stall(std::int64_t ms) { now_ += ms; }
    // The copy's process ends at once, as by kill -9: the kernel lets go of the locks it holds
    // and closes them, and its application window goes. Whatever this copy still calls
    // afterwards finds none of its locks, as a dead process would never call.
    void Kill();

    // Platform
    std::string ModuleFileName() override { return moduleFileName; }
    std::unique_ptr<SettingsStore> OpenSettings(const std::string& programPath) override;
    SettingsDefaults DefaultSettings() override { return settingsDefaults; }
    Launched Launch(const std::string& file, const std::string& params) override;
    int ScreenDpi() override { return dpi; }
    std::unique_ptr<Window> CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) override;
    // A box's or menu's window: a menu's corner at its point of the owner (where the fake
    // screen has it), a dialog placed as asked.
    std::unique_ptr<Window> CreatePopup(WindowHandler& handler, const PopupDesc& desc) override;
    std::unique_ptr<Painter> MeasuringPainter() override;
    void CreateAppWindow(const std::string& title, EventHandler& handler) override;
    bool ShowNativeMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    std::optional<int> NativePopupMenu(Window& owner, const std::vector<std::string>& items, Point client) override;
    std::unique_ptr<NamedLock> MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) override;
    std::string LockFailureText() override { return lockFailure; }
    WindowRef OwnAppWindow() override { return appWindow_; }
    WindowRef FindAppWindow(WindowRef after, const std::string& className, const std::string& title) override;
    bool Exists(WindowRef w) override { return world_->appWindows.count(w) != 0; }
    bool IsMinimised(WindowRef w) override;
    void Restore(WindowRef w, std::uint64_t token) override;
    void BringForward(WindowRef w, std::uint64_t token) override;
    // Each launch still pending gets finishOutcome.
    void FinishPendingLaunches() override;

    // A launch that was Pending is decided: its outcome reaches the program through the loop.
    void DecideLaunch(LaunchOutcome outcome);
    int PendingLaunches() const { return pendingLaunches_; }
    LaunchOutcome finishOutcome = LaunchOutcome::Started;

    // Settings of the fake machine.
    std::string moduleFileName = "/opt/vreko/vreko";
    Rect monitor{0, 0, 1920, 1080};
    int dpi = 96;
    bool iconic = false;
    // The settings file, and the program path it was opened for.
    std::shared_ptr<HeadlessSettingsFile> settings = std::make_shared<HeadlessSettingsFile>();
    std::string settingsOpenedFor;
    SettingsDefaults settingsDefaults{
        "10", "warn-default", "-w", "action-default", "-a", "Arial Black", "90", "0", "0", "1", "0"};
    // When set, no lock can be opened, and this is why.
    std::string lockFailure;
    // The copy runs elevated: the locks it makes are closed to copies that do not.
    bool elevated = false;

    // What the program did.
    struct Box {
        std::string text, caption;
        MessageBoxIcon icon;
        std::int64_t at;
    };
    std::vector<LaunchRecord> launches;
    std::vector<Box> boxes;
    std::vector<std::string> calls;  // instance-guard calls, in order
    // Outcome of a launch of a program path (default: started; Pending: decided later by
    // DecideLaunch or at the end).
    std::function<LaunchOutcome(const std::string& file)> shellResult;
    // Runs while a message box is open (the box is closed when it returns).
    std::function<void()> whileBoxOpen;
    // Off: the machine has no box and menu of its own, and the program draws its own in
    // popup windows (nothing is recorded in boxes, menuChoice is not asked).
    bool nativePopups = true;
    // Runs when time can pass no further while one of the program's own boxes or menus is
    // open (the latest): the user's turn to act on it. Without it the box or menu is asked to
    // close at once, and that is counted.
    std::function<void(HeadlessWindow& popup)> whilePopupOpen;
    int popupsClosedUntouched = 0;
    int menuChoice = -1;
    std::vector<std::string> lastMenu;
    Point lastMenuAt;            // the menu's point in the owner's client area
    int foregroundRequests = 0;  // times another copy brought this one forward
    HeadlessWindow* mainWindow = nullptr;
    std::vector<HeadlessWindow*> popups;  // the popup windows there are, the latest last
    RecordingSleepHold sleepHold{launches};
    SleepHold& AutomaticSleep() override { return sleepHold; }
    // The machine has slept and woken up again: the application hears it at once.
    void Wake();
    // Whether one of this copy's windows has the focus; a window shown with activation takes
    // it and the copy hears that it has become the active application.
    bool active = false;
    void SetActive(bool on);
    EventHandler* appHandler = nullptr;

private:
    friend class HeadlessNamedLock;
    std::shared_ptr<HeadlessWorld> world_;
    std::int64_t now_ = 0;
    std::int64_t target_ = 0;
    int pendingLaunches_ = 0;
    std::deque<Event> input_;
    // The locks this copy has open, by name, with whether it holds each.
    std::multimap<std::string, class HeadlessNamedLock*> open_;
    WindowRef appWindow_ = 0;
    std::vector<HeadlessWindow*> windows_;
    std::vector<DrawOp> measured_;  // what is drawn on a measuring painter
    bool inPopupTurn_ = false;      // whilePopupOpen is running
    friend class HeadlessWindow;
};

}  // namespace vreko::headless
