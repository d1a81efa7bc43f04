// The Win32 backend: the program's windows as native windows of the calling thread, GDI
// drawing, the settings file (win32_settings.h), and the translation of window messages into
// the program's typed events, which the window procedure queues and Next hands to the loop.
// Single-threaded; the program's event loop sleeps in Wait() on the thread's message queue.
// One job a file: the set-up and the wait (win32_platform.cpp), the window procedure's
// translation and the queue it fills (win32_events.cpp), the program's work through a modal loop of
// Windows (win32_modal.cpp), the message box and the menu (win32_boxes.cpp), named locks and
// the running copy (win32_instance.cpp), the screen (win32_display.cpp), text and fonts
// (win32_text.cpp), the hold on sleep (win32_sleep.cpp), launching (win32_shell.cpp), the
// main window (win32_window.cpp) and drawing (win32_painter.cpp).
#pragma once

#include "platform/platform.h"

// Wide-character Windows throughout: resource names such as IDC_ARROW follow it as well.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace vreko::win32 {

class Win32Platform;

// The window classes: the hidden application window that other copies look for, and the
// program's main window.
inline constexpr wchar_t kAppClass[] = L"TApplication";
inline constexpr wchar_t kMainClass[] = L"TForm1";

// Text at the edge of the backend: UTF-8 inside the program, UTF-16 for the system.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// Drawing with GDI. A painter made for a paint message draws into an off-screen bitmap of the
// paint area and copies it to the window when it is destroyed, so a repaint never flickers.
class Win32Painter : public Painter {
public:
    // dc draws the client area shifted by area's top-left corner (a bitmap of the paint area,
    // or the window's own surface with area at the client origin).
    Win32Painter(Win32Platform& platform, HDC dc, Rect area);
    ~Win32Painter() override;
    Win32Painter(const Win32Painter&) = delete;
    Win32Painter& operator=(const Win32Painter&) = delete;

    void SetOrigin(Point origin) override { origin_ = origin; }
    void SetClip(const Rect& clientRect) override;
    void FillRect(const Rect& r, Color c) override;
    void Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) override;
    void Polyline(const std::vector<Point>& pts, Color pen, int penWidth) override;
    void Ellipse(const Rect& box, Color fill, Color pen, int penWidth) override;
    void Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) override;
    FontMetrics GetFontMetrics(const FontSpec& font) override;
    int TextWidth(const FontSpec& font, std::string_view utf8) override;
    void DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) override;

protected:
    HDC dc() const { return dc_; }

private:
    POINT Device(Point p) const { return {p.x + origin_.x - area_.left, p.y + origin_.y - area_.top}; }
    RECT Device(const Rect& r) const;
    std::vector<POINT> Device(const std::vector<Point>& pts) const;
    // Selects a pen (none when width <= 0) and a brush (none when hollow), restored by the next call.
    void Select(Color pen, int penWidth, Color fill, bool hollow);
    void Deselect();

    Win32Platform& platform_;
    HDC dc_;
    Rect area_;
    Point origin_;
    int savedState_ = 0;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
};

class Win32Window : public Window {
public:
    Win32Window(Win32Platform& platform, WindowHandler& handler, const WindowDesc& desc);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    void Show(bool activate) override;
    void Hide() override;
    bool Visible() const override;
    void Place(const Placement& placement) override;
    void Resize(int width, int height) override;
    void Invalidate(const Rect* r) override;
    std::unique_ptr<Painter> Draw(const Rect& area) override;
    void SetCursor(CursorKind kind) override;
    void CapturePointer() override;
    void ReleasePointer() override;
    std::optional<Point> PointerPosition() override;
    bool BeginMove() override;
    void SetRoundedOutline(const Rect& box, int rx, int ry) override;

    // --- used by the window procedure ----------------------------------------------
    HWND hwnd() const { return hwnd_; }
    WindowHandler& handler() { return handler_; }
    Point ScreenToClient(Point p) const;
    Point ClientToScreen(Point p) const;
    HCURSOR Cursor() const;
    CursorKind CursorShape() const { return cursor_; }
    // The window is letting go of the pointer itself (ReleasePointer tells the handler).
    bool Releasing() const { return releasing_; }
    // Asks the system to report the pointer leaving the window, or withdraws the request.
    void TrackLeave(bool on);
    // The system has reported the leave; the request is used up.
    void LeaveReported() { trackingLeave_ = false; }

private:
    Win32Platform& platform_;
    WindowHandler& handler_;
    HWND hwnd_ = nullptr;
    CursorKind cursor_ = CursorKind::Arrow;
    bool trackingLeave_ = false;
    bool releasing_ = false;
};

// The hold on automatic sleep: the thread's execution state asks for the system (not the display).
class Win32SleepHold : public SleepHold {
public:
    ~Win32SleepHold() override { Release(); }
    void Take() override;
    void Release() override;

private:
    bool held_ = false;
};

class Win32Platform : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance);
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // EventSource
    std::int64_t NowMs() override;
    void Wait(std::int64_t timeoutMs) override;
    bool Next(Event& out) override;

    // Platform
    std::string ModuleFileName() override;
    std::unique_ptr<SettingsStore> OpenSettings(const std::string& programPath) override;
    SettingsDefaults DefaultSettings() override;
    Launched Launch(const std::string& file, const std::string& params) override;
    SleepHold& AutomaticSleep() override { return sleepHold_; }
    int ScreenDpi() override;
    std::unique_ptr<Window> CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) override;
    void CreateAppWindow(const std::string& title, EventHandler& handler) override;
    bool ShowNativeMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    std::optional<int> NativePopupMenu(Window& owner, const std::vector<std::string>& items, Point client) override;
    std::unique_ptr<NamedLock> MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) override;
    WindowRef OwnAppWindow() override { return Ref(appWindow_); }
    WindowRef FindAppWindow(WindowRef after, const std::string& className, const std::string& title) override;
    bool Exists(WindowRef w) override;
    bool IsMinimised(WindowRef w) override;
    void Restore(WindowRef w, std::uint64_t token) override;
    void BringForward(WindowRef w, std::uint64_t token) override;

    // --- for the backend's windows and painters --------------------------------------
    HINSTANCE instance() const { return instance_; }
    HWND AppWindow() const { return appWindow_; }
    // The primary screen.
    Rect PrimaryMonitor();
    // The font for the request, cached for the life of the platform.
    HFONT Font(const FontSpec& request);
    // The window procedure of every window of the backend.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The window of the message box being opened, once Windows has created it.
    void BoxOpened(HWND box) { boxes_.push_back(box); }

    static WindowRef Ref(HWND w) { return WindowRef(reinterpret_cast<std::uintptr_t>(w)); }
    static HWND Hwnd(WindowRef w) { return reinterpret_cast<HWND>(std::uintptr_t(w)); }

    // While it lives, Windows runs a modal loop of its own (a move, a menu, a message box):
    // a system timer keeps the program's timers ticking through it.
    class ModalScope {
    public:
        [[nodiscard]] explicit ModalScope(Win32Platform& platform);
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        Win32Platform& platform_;
    };

private:
    // The system timer that keeps the program's timers running through a modal loop of Windows.
    static constexpr UINT_PTR kModalTimerId = 1;
    // The platform whose windows the window procedure serves.
    static inline Win32Platform* current_ = nullptr;

    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleAppMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMainMessage(Win32Window& w, UINT message, WPARAM wParam, LPARAM lParam);
    // Queues a translated event for the loop (Next hands it on); without a loop (the program's
    // end) its target has it at once.
    void Queue(EventHandler* target, EventData data);
    // Runs the program's due timers, posted notices and queued events from inside a modal loop
    // of Windows, and sets the system timer for the next of them.
    void RunModalWork();
    void ArmModalTimer();
    void RegisterClasses();
    // The program's main window when it is on the screen, else null.
    HWND VisibleMainWindow() const;

    HINSTANCE instance_;
    HWND appWindow_ = nullptr;
    EventHandler* appHandler_ = nullptr;
    std::map<HWND, Win32Window*> windows_;
    friend class Win32Window;

    // The translated events that the loop has not taken yet.
    std::deque<Event> queue_;
    int modalDepth_ = 0;
    // The modal depth at which the program's work runs from inside a modal loop of Windows, 0
    // outside one; a loop entered from that work (a box a tick opens) runs it again.
    int modalWorkDepth_ = 0;
    // The message boxes that are open, the innermost last.
    std::vector<HWND> boxes_;
    std::map<std::tuple<std::string, int, bool, bool>, HFONT> fonts_;
    Win32SleepHold sleepHold_;
    // When the last wake-up was told (one wake-up brings two resume notices), or -1.
    std::int64_t wakeToldAt_ = -1;
};

}  // namespace vreko::win32
