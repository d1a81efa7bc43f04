// While one of the program's own message boxes is open, the user's input and the idle ticks
// do not reach the controller: a key meant for the box neither dials nor hides, and the
// window does not hide or end under the message. The countdown keeps its time meanwhile.
#pragma once

#include <functional>
#include <utility>

namespace vreko {

class ModalHold {
public:
    bool Active() const { return depth_ > 0; }

    // Runs when the last open box has closed (the idle count starts afresh from there).
    void OnReleased(std::function<void()> handler) { onReleased_ = std::move(handler); }

    class Scope {
    public:
        [[nodiscard]] explicit Scope(ModalHold& hold) : hold_(hold) { ++hold_.depth_; }
        ~Scope() {
            if (--hold_.depth_ == 0 && hold_.onReleased_) hold_.onReleased_();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ModalHold& hold_;
    };

private:
    int depth_ = 0;
    std::function<void()> onReleased_;
};

}  // namespace vreko
