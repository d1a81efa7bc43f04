#include "app/application.h"

namespace vreko {

void TApplication::Handle(const Event& e) {
    if (e.As<BecameActive>() || e.As<AskedForward>()) {
        loop_.Post([this] {
            if (OnActivate) OnActivate();
        });
    } else if (e.As<MachineWoke>()) {
        if (OnWake) OnWake();
    }
}

}  // namespace vreko
