// The run loops of the process. The main loop is driven by the browser: any
// thread may post work to it, only the thread bound to it (the browser's main
// thread) runs it. Every other thread has a loop of its own, made when the
// thread first asks for it and gone with the thread, which runs only when
// that thread runs it. A loop's clock is either the real monotonic clock or
// a virtual one that moves only when the loop runs, so that tests take no
// real time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace macos {

class RunLoop {
public:
    using Task = std::function<void()>;
    using Micros = std::chrono::microseconds;
    using TimerId = uint64_t;

    // The process's main run loop.
    static RunLoop& main();
    // The calling thread's loop: the main loop on the main thread.
    static std::shared_ptr<RunLoop> current();

    // Main loop: makes the calling thread the main thread.
    void bindToCurrentThread();
    // Whether the calling thread is the main thread.
    bool isMainThread() const { return main().isCurrent(); }
    // Whether the calling thread is the one that runs this loop.
    bool isCurrent() const;

    // Switches between the real and the virtual clock; drops every pending
    // task and timer, and restarts the virtual clock at 0.
    void reset(bool virtualClock);
    bool usesVirtualClock() const;

    // Time of the loop's clock since its epoch.
    Micros now() const;

    // Any thread: runs the task on the loop's thread, after the tasks posted before it.
    void post(Task task);

    // Any thread: runs the task after the delay, then every interval when the
    // interval is above zero, until cancelled. Returns a non-zero id.
    TimerId addTimer(Micros delay, Micros interval, Task task);
    // Returns false when no such timer is scheduled. A timer may cancel itself while it runs.
    bool cancelTimer(TimerId id);
    bool hasTimer(TimerId id) const;

    // Only the loop's thread runs it, with these four; another thread gets
    // std::logic_error.
    //
    // Runs the tasks posted so far and the timers due now. Returns how many
    // ran. An exception of a task leaves this call; the task is gone from the
    // loop.
    size_t runPending();
    // Runs until nothing is posted or scheduled, or the clock has moved by
    // the limit; the virtual clock jumps from timer to timer.
    // Returns true when the loop became idle.
    bool runUntilIdle(Micros limit);
    // Runs for the given time of the loop's clock.
    void runFor(Micros duration);
    // Runs until done() is true or the clock has moved by the limit. When
    // nothing is due it waits for posts from other threads; on the virtual
    // clock that wait takes at most realLimit of real time in all.
    bool runUntil(const std::function<bool()>& done, Micros limit, Micros realLimit);

    bool idle() const;
    size_t pendingTasks() const;
    size_t scheduledTimers() const;

private:
    RunLoop();
    static const std::shared_ptr<RunLoop>& mainLoop();
    struct Timer {
        Micros due;
        Micros interval;
        uint64_t order;
        std::shared_ptr<Task> task;
    };
    using Lock = std::unique_lock<std::mutex>;

    using RealTime = std::chrono::steady_clock::time_point;

    void requireOwnThread() const;
    bool isMain() const { return this == &main(); }
    Micros clockNow() const;
    bool runNextTask(Lock& lock);
    bool runTimer(Lock& lock, TimerId id);
    bool nextDue(Micros& due) const;
    // Moves on to the next timer due before end, waiting for it on the real
    // clock. False when there is none before end.
    bool advanceTowards(Lock& lock, Micros end);
    // Waits for a post or a new timer until the real deadline; false on timeout.
    bool waitForChange(Lock& lock, RealTime deadline);

    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<Task> m_tasks;
    std::map<TimerId, Timer> m_timers;
    TimerId m_lastTimerId = 0;
    uint64_t m_order = 0;
    uint64_t m_changes = 0;
    // The thread that runs the loop.
    std::thread::id m_thread;
    bool m_virtual = false;
    Micros m_virtualNow{0};
    std::chrono::steady_clock::time_point m_epoch;
};

} // namespace macos
