#include "platform/event_loop.h"

#include <algorithm>

namespace vreko {

TimerId EventLoop::AddTimer(int intervalMs, std::function<void()> onTick) {
    TimerId id = nextId_++;
    timers_.push_back(Timer{id, intervalMs > 0 ? intervalMs : 1, false, 0, std::move(onTick)});
    return id;
}

void EventLoop::RemoveTimer(TimerId id) {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; }),
                  timers_.end());
}

EventLoop::Timer* EventLoop::Find(TimerId id) {
    for (auto& t : timers_)
        if (t.id == id) return &t;
    return nullptr;
}

const EventLoop::Timer* EventLoop::Find(TimerId id) const {
    for (const auto& t : timers_)
        if (t.id == id) return &t;
    return nullptr;
}

void EventLoop::StartTimer(TimerId id) {
    Timer* t = Find(id);
    if (!t || t->running) return;
    t->running = true;
    t->deadline = source_.NowMs() + t->interval;
}

void EventLoop::StopTimer(TimerId id) {
    if (Timer* t = Find(id)) t->running = false;
}

bool EventLoop::TimerRunning(TimerId id) const {
    const Timer* t = Find(id);
    return t && t->running;
}

std::int64_t EventLoop::NextDeadline() const {
    std::int64_t best = -1;
    for (const auto& t : timers_)
        if (t.running && (best < 0 || t.deadline < best)) best = t.deadline;
    return best;
}

bool EventLoop::RunDueTimer() {
    const std::int64_t now = source_.NowMs();
    Timer* due = nullptr;
    for (auto& t : timers_)
        if (t.running && t.deadline <= now && (!due || t.deadline < due->deadline)) due = &t;
    if (!due) return false;
    // The next period counts from this deadline, not from now; periods that were missed
    // entirely are skipped so a late timer ticks once instead of catching up.
    std::int64_t next = due->deadline + due->interval;
    if (next <= now) next += ((now - next) / due->interval + 1) * due->interval;
    due->deadline = next;
    // A copy: the handler may stop or remove its own timer while running.
    auto onTick = due->onTick;
    onTick();
    return true;
}

bool EventLoop::RunPosted() {
    if (posted_.empty()) return false;
    auto notice = std::move(posted_.front());
    posted_.pop_front();
    notice();
    return true;
}

bool EventLoop::ProcessOne() {
    if (RunPosted()) return true;
    Event e;
    if (source_.Next(e)) {
        Dispatch(e);
        return true;
    }
    // Taking the backend's events may have posted a notice (a start decided meanwhile).
    return RunPosted() || RunDueTimer();
}

void EventLoop::Dispatch(const Event& e) {
    const Event* outer = current_;
    current_ = &e;
    bool handled = false;
    const bool modal = e.target && std::find(modal_.begin(), modal_.end(), e.target) != modal_.end();
    if (hook_ && !modal) hook_(e, handled);
    if (e.target) e.target->Handle(e);
    current_ = outer;
}

bool DispatchingLeftPress(const EventLoop* loop, const EventHandler& handler) {
    const Event* e = loop ? loop->Current() : nullptr;
    const ButtonChanged* b = e ? e->As<ButtonChanged>() : nullptr;
    return b && e->target == &handler && b->down && b->button == PointerButton::Left;
}

void EventLoop::WaitForWork() {
    std::int64_t deadline = NextDeadline();
    std::int64_t timeout = -1;
    if (deadline >= 0) timeout = std::max<std::int64_t>(0, deadline - source_.NowMs());
    source_.Wait(timeout);
}

void EventLoop::Run() {
    while (!quit_) {
        if (!ProcessOne() && !quit_) WaitForWork();
    }
}

void EventLoop::RunUntil(const std::function<bool()>& done, const EventHandler* modal) {
    if (modal) modal_.push_back(modal);
    while (!quit_ && !done()) {
        if (!ProcessOne() && !quit_ && !done()) WaitForWork();
    }
    if (modal) modal_.erase(std::find(modal_.begin(), modal_.end(), modal));
}

}  // namespace vreko
