// Window messages as the program hears them on Windows, under Wine: each message posted to a
// real window of the backend comes out of the event source as the typed event it means, for
// that window's handler, and a message that means nothing to the program comes out as
// nothing at all, never as an empty event.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/native.h"
#include "platform/platform.h"

namespace vreko {
namespace {

class Ignoring : public WindowHandler {
public:
    void Handle(const Event&) override {}
    Area AreaAt(Point) override { return Area::Client; }
};

class Win32Events : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        platform_ = CreateNativePlatform(error);
        ASSERT_TRUE(platform_) << error;
        loop_ = std::make_unique<EventLoop>(*platform_);
        platform_->AttachLoop(loop_.get());
        WindowDesc desc;
        desc.title = "Vreko events under test";
        desc.width = 100;
        desc.height = 80;
        window_ = platform_->CreateMainWindow(handler_, desc);
        hwnd_ = ::FindWindowW(L"TForm1", L"Vreko events under test");
        ASSERT_NE(hwnd_, nullptr);
        // Whatever Windows says of the new window itself is not what these tests look at.
        Take();
    }
    void TearDown() override {
        window_.reset();
        if (platform_) platform_->AttachLoop(nullptr);
    }

    void Post(UINT message, WPARAM wParam, LPARAM lParam) {
        ASSERT_TRUE(::PostMessageW(hwnd_, message, wParam, lParam));
    }
    // Every event the source has now, in order.
    std::vector<Event> Take() {
        std::vector<Event> out;
        Event e;
        while (platform_->Next(e)) out.push_back(e);
        return out;
    }
    // The one event a single posted message brings.
    template <typename T>
    T One(UINT message, WPARAM wParam, LPARAM lParam) {
        Post(message, wParam, lParam);
        const std::vector<Event> got = Take();
        EXPECT_EQ(got.size(), 1u) << "message " << message;
        if (got.size() != 1) return T{};
        EXPECT_EQ(got[0].target, &handler_);
        const T* data = std::get_if<T>(&got[0].data);
        EXPECT_NE(data, nullptr) << "message " << message << " gave event " << got[0].data.index();
        return data ? *data : T{};
    }

    Ignoring handler_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<EventLoop> loop_;
    std::unique_ptr<Window> window_;
    HWND hwnd_ = nullptr;
};

TEST_F(Win32Events, KeysBecomeTheKeysTheProgramTellsApart) {
    KeyPressed k = One<KeyPressed>(WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(k.key, Key::Up);
    EXPECT_FALSE(k.repeat);
    EXPECT_FALSE(k.withAlt);
    k = One<KeyPressed>(WM_KEYDOWN, VK_APPS, 1 | (1 << 30));  // held down: a repeat
    EXPECT_EQ(k.key, Key::Menu);
    EXPECT_TRUE(k.repeat);
    EXPECT_EQ(One<KeyPressed>(WM_KEYDOWN, VK_ESCAPE, 1).key, Key::Escape);
    EXPECT_EQ(One<KeyPressed>(WM_KEYDOWN, 'A', 1).key, Key::Other);
    // With Alt the window system keeps the key.
    k = One<KeyPressed>(WM_SYSKEYDOWN, VK_LEFT, 1 | (1 << 29));
    EXPECT_EQ(k.key, Key::Left);
    EXPECT_TRUE(k.withAlt);

    // Releases and characters mean nothing to the program: no event, empty or other.
    Post(WM_KEYUP, VK_UP, 1 | (3u << 30));
    Post(WM_CHAR, 'a', 1);
    Post(WM_SYSCHAR, 'a', 1 | (1 << 29));
    Post(WM_NULL, 0, 0);
    EXPECT_TRUE(Take().empty());
}

TEST_F(Win32Events, PointerButtonsAndTheWheel) {
    ButtonChanged b = One<ButtonChanged>(WM_RBUTTONUP, MK_LBUTTON | MK_SHIFT, MAKELPARAM(5, 7));
    EXPECT_EQ(b.button, PointerButton::Right);
    EXPECT_FALSE(b.down);
    EXPECT_FALSE(b.doubleClick);
    EXPECT_EQ(b.at.x, 5);
    EXPECT_EQ(b.at.y, 7);
    EXPECT_EQ(b.area, Area::Client);
    EXPECT_TRUE(b.held.left && b.held.shift);
    EXPECT_FALSE(b.held.right || b.held.middle || b.held.control);

    // Left of and above the window (a held pointer): negative client coordinates.
    b = One<ButtonChanged>(WM_MBUTTONDBLCLK, MK_MBUTTON, MAKELPARAM(-3, -9));
    EXPECT_EQ(b.button, PointerButton::Middle);
    EXPECT_TRUE(b.down && b.doubleClick);
    EXPECT_EQ(b.at.x, -3);
    EXPECT_EQ(b.at.y, -9);
    b = One<ButtonChanged>(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(1, 2));
    EXPECT_EQ(b.button, PointerButton::Left);
    EXPECT_TRUE(b.down);
    EXPECT_FALSE(b.doubleClick);
    EXPECT_TRUE(b.held.control);

    const PointerMoved m = One<PointerMoved>(WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(10, 20));
    EXPECT_EQ(m.at.x, 10);
    EXPECT_EQ(m.at.y, 20);
    EXPECT_EQ(m.area, Area::Client);
    EXPECT_TRUE(m.held.right);

    // Away from the user is positive; a part of a notch is a whole one; no length is 0.
    const auto wheel = [this](int delta) {
        return One<WheelTurned>(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(short(delta))), 0).steps;
    };
    EXPECT_EQ(wheel(WHEEL_DELTA), 1);
    EXPECT_EQ(wheel(30), 1);
    EXPECT_EQ(wheel(2 * WHEEL_DELTA + 10), 2);
    EXPECT_EQ(wheel(-30), -1);
    EXPECT_EQ(wheel(-3 * WHEEL_DELTA), -3);
    EXPECT_EQ(wheel(0), 0);
}

TEST_F(Win32Events, WindowNotices) {
    One<CloseAsked>(WM_CLOSE, 0, 0);
    EXPECT_EQ(One<ResolutionChanged>(WM_DPICHANGED, MAKEWPARAM(144, 144), 0).dpi, 144);
    // A window of the program's class that the program did not make: its messages reach
    // none of the program's handlers.
    HWND other = ::CreateWindowExW(0, L"TForm1", L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    Take();
    ::PostMessageW(other, WM_KEYDOWN, VK_UP, 1);
    EXPECT_TRUE(Take().empty());
    ::DestroyWindow(other);
}

}  // namespace
}  // namespace vreko
