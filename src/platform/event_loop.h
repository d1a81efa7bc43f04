// The program's one event loop: the program's own posted notices, the backend's typed events
// and timers kept as deadlines on a monotonic clock. Single-threaded: nothing here locks.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/events.h"

namespace vreko {

// What a backend supplies to the loop: its clock, a way to sleep until native events
// arrive, and its native events already translated into typed events.
class EventSource {
public:
    virtual ~EventSource() = default;
    virtual std::int64_t NowMs() = 0;  // monotonic milliseconds
    // Sleeps until a native event may be pending or timeoutMs has passed (-1: no limit).
    virtual void Wait(std::int64_t timeoutMs) = 0;
    // Takes the next translated event, if any, without waiting and without dispatching it.
    virtual bool Next(Event& out) = 0;
};

using TimerId = std::uint32_t;

class EventLoop {
public:
    // Sees every event the loop takes before its target does (but those of an open box or menu,
    // see RunUntil); it never stops one.
    using Hook = std::function<void(const Event&, bool& handled)>;

    explicit EventLoop(EventSource& source) : source_(source) {}
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    std::int64_t NowMs() { return source_.NowMs(); }

    // Timers: created stopped. Starting a stopped timer begins a fresh period from now;
    // starting a running one or stopping a stopped one changes nothing. Each period is
    // scheduled from the previous deadline, and a timer that fell behind ticks once.
    TimerId AddTimer(int intervalMs, std::function<void()> onTick);
    void RemoveTimer(TimerId id);
    void StartTimer(TimerId id);
    void StopTimer(TimerId id);
    bool TimerRunning(TimerId id) const;
    // The deadline of the nearest running timer, or -1 when none runs.
    std::int64_t NextDeadline() const;

    void SetHook(Hook hook) { hook_ = std::move(hook); }

    // A notice the program gives itself: run when the loop takes it, in order with the rest.
    void Post(std::function<void()> notice) { posted_.push_back(std::move(notice)); }
    void PostQuit() { quit_ = true; }
    bool QuitRequested() const { return quit_; }

    // Runs until the quit request is taken.
    void Run();
    // A nested loop, for modal boxes and menus: runs until done() holds or the quit request
    // is taken (the request stays pending for the outer loop). The events of modal (the box
    // or menu itself) go to it alone, past the hook, as a system's own box keeps its input.
    void RunUntil(const std::function<bool()>& done, const EventHandler* modal = nullptr);
    // Handles one pending piece of work (a posted notice, an event, or a due timer tick);
    // false if none.
    bool ProcessOne();
    // Sleeps in the backend until the next deadline or a native event.
    void WaitForWork();

    // The hook first, then the event's target.
    void Dispatch(const Event& e);
    // The event being dispatched (the innermost one, inside a nested loop), or null.
    const Event* Current() const { return current_; }

private:
    struct Timer {
        TimerId id;
        int interval;
        bool running;
        std::int64_t deadline;
        std::function<void()> onTick;
    };
    Timer* Find(TimerId id);
    const Timer* Find(TimerId id) const;
    bool RunPosted();
    bool RunDueTimer();

    EventSource& source_;
    Hook hook_;
    std::deque<std::function<void()>> posted_;
    std::vector<Timer> timers_;
    TimerId nextId_ = 1;
    bool quit_ = false;
    const Event* current_ = nullptr;
    std::vector<const EventHandler*> modal_;  // the open boxes and menus, innermost last
};

// Whether the loop is dispatching a left press (or double-click) on handler's window right now:
// the only time a window may start the window system's move.
bool DispatchingLeftPress(const EventLoop* loop, const EventHandler& handler);

// A one-second (or any period) tick source of the program, running or stopped.
class TickSource {
public:
    TickSource(EventLoop& loop, int intervalMs, std::function<void()> onTick)
        : loop_(loop), id_(loop.AddTimer(intervalMs, std::move(onTick))) {}
    ~TickSource() { loop_.RemoveTimer(id_); }
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;

    void Start() { loop_.StartTimer(id_); }
    void Stop() { loop_.StopTimer(id_); }
    bool Enabled() const { return loop_.TimerRunning(id_); }
    TimerId Id() const { return id_; }

private:
    EventLoop& loop_;
    TimerId id_;
};

}  // namespace vreko
