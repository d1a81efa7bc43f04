#include "controls/popups.h"

#include "controls/message_box_view.h"
#include "controls/popup_menu_view.h"

namespace vreko {

namespace {

// Runs the program (its timers, notices and other windows) until done holds or the program is
// asked to quit; the events of the box or menu go to it alone. Without the program's loop
// (at the very end), the backend's events alone.
void RunModal(Platform& platform, const EventHandler& modal, const std::function<bool()>& done) {
    if (EventLoop* loop = platform.Loop()) {
        loop->RunUntil(done, &modal);
        return;
    }
    while (!done()) {
        Event e;
        if (platform.Next(e)) {
            if (e.target) e.target->Handle(e);
            continue;
        }
        if (!done()) platform.Wait(-1);
    }
}

}  // namespace

void ShowMessageBox(Platform& platform, const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    if (platform.ShowNativeMessageBox(text, caption, icon)) return;
    std::unique_ptr<Painter> measure = platform.MeasuringPainter();
    if (!measure) return;
    MessageBoxView view(*measure, platform.ScreenDpi(), text, icon);
    measure.reset();
    PopupDesc desc;
    desc.kind = PopupDesc::Kind::Dialog;
    desc.title = caption;
    desc.width = view.Width();
    desc.height = view.Height();
    desc.placement = {true, {}};
    std::unique_ptr<Window> window = platform.CreatePopup(view, desc);
    if (!window) return;
    view.Attach(window.get());
    window->Show(true);
    RunModal(platform, view, [&view] { return view.Closed(); });
    view.Attach(nullptr);
}

int PopupMenu(Platform& platform, Window& owner, const std::vector<std::string>& items, Point client) {
    if (std::optional<int> native = platform.NativePopupMenu(owner, items, client)) return *native;
    if (items.empty()) return PopupMenuView::kNoItem;
    std::unique_ptr<Painter> measure = platform.MeasuringPainter();
    if (!measure) return PopupMenuView::kNoItem;
    PopupMenuView view(*measure, platform.ScreenDpi(), items);
    measure.reset();
    PopupDesc desc;
    desc.kind = PopupDesc::Kind::Menu;
    desc.width = view.Width();
    desc.height = view.Height();
    desc.owner = &owner;
    desc.at = client;
    std::unique_ptr<Window> window = platform.CreatePopup(view, desc);
    if (!window) return PopupMenuView::kNoItem;
    view.Attach(window.get());
    window->Show(false);
    RunModal(platform, view, [&view] { return view.Done(); });
    view.Attach(nullptr);
    return view.Choice();
}

}  // namespace vreko
