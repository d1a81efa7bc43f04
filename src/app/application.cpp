#include "app/application.h"

namespace vreko {

TApplication::TApplication(Platform& platform, EventLoop& loop) : platform_(platform), loop_(loop) {
    loop_.SetHook([this](const Message& m, bool& handled) {
        if (OnMessage) OnMessage(m, handled);
    });
}

void TApplication::CreateHandle() { platform_.CreateAppWindow(title_, *this); }

void TApplication::WndProc(const Message& m) {
    if (m.message == msg::kActivateApp && m.wParam != 0) {
        Message notice;
        notice.window = this;
        notice.message = msg::kAppActivated;
        loop_.Post(notice);
    } else if (m.message == msg::kAppActivated) {
        if (OnActivate) OnActivate();
    }
}

}  // namespace vreko
