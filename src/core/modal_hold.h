// While a modal box opened by the controller's own work is up, its ticks and the user's
// input must not reach the controller, so one count's step runs once and one failure
// shows one box. The launcher holds it open around its failure message.
#pragma once

namespace vreko {

class ModalHold {
public:
    bool Active() const { return depth_ > 0; }

    class Scope {
    public:
        explicit Scope(ModalHold& hold) : hold_(hold) { ++hold_.depth_; }
        ~Scope() { --hold_.depth_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ModalHold& hold_;
    };

private:
    int depth_ = 0;
};

}  // namespace vreko
