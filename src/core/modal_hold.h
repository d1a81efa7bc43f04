// While one of the program's own message boxes is open, the user's input and the idle ticks
// do not reach the controller: a key meant for the box neither dials nor hides, and the
// window does not hide or end under the message. The countdown keeps its time meanwhile.
#pragma once

namespace vreko {

class ModalHold {
public:
    bool Active() const { return depth_ > 0; }

    class Scope {
    public:
        [[nodiscard]] explicit Scope(ModalHold& hold) : hold_(hold) { ++hold_.depth_; }
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
