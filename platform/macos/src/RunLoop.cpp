#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace macos {

namespace {

// Releases the loop's lock while a task runs, and takes it again however the task ends.
class Unlocked {
public:
    explicit Unlocked(std::unique_lock<std::mutex>& lock) : m_lock(lock) { m_lock.unlock(); }
    ~Unlocked() { m_lock.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

private:
    std::unique_lock<std::mutex>& m_lock;
};

// Each task of the main loop runs as in its own pass of the event loop: what
// it autoreleased without a pool is released after it, also when it throws.
class PoolPass {
public:
    explicit PoolPass(bool mainLoop) : m_mainLoop(mainLoop) {}
    ~PoolPass() {
        if (m_mainLoop)
            drainMainThreadPool();
    }
    PoolPass(const PoolPass&) = delete;
    PoolPass& operator=(const PoolPass&) = delete;

private:
    bool m_mainLoop;
};

void runTask(const RunLoop::Task& task, bool mainLoop) {
    PoolPass pass(mainLoop);
    task();
}

} // namespace

const std::shared_ptr<RunLoop>& RunLoop::mainLoop() {
    static const std::shared_ptr<RunLoop> loop(new RunLoop());
    return loop;
}

RunLoop& RunLoop::main() {
    return *mainLoop();
}

std::shared_ptr<RunLoop> RunLoop::current() {
    if (main().isCurrent())
        return mainLoop();
    thread_local const std::shared_ptr<RunLoop> own(new RunLoop());
    return own;
}

RunLoop::RunLoop()
    : m_thread(std::this_thread::get_id()), m_epoch(std::chrono::steady_clock::now()) {}

void RunLoop::bindToCurrentThread() {
    Lock lock(m_mutex);
    m_thread = std::this_thread::get_id();
}

bool RunLoop::isCurrent() const {
    Lock lock(m_mutex);
    return m_thread == std::this_thread::get_id();
}

void RunLoop::requireOwnThread() const {
    if (!isCurrent())
        throw std::logic_error("a run loop runs only on its own thread");
}

void RunLoop::reset(bool virtualClock) {
    std::deque<Task> tasks;
    std::map<TimerId, Timer> timers;
    {
        Lock lock(m_mutex);
        tasks.swap(m_tasks);
        timers.swap(m_timers);
        m_virtual = virtualClock;
        m_virtualNow = Micros(0);
        m_epoch = std::chrono::steady_clock::now();
        ++m_changes;
    }
    // Dropped outside the lock: a task's captures may post or cancel as they go.
}

bool RunLoop::usesVirtualClock() const {
    Lock lock(m_mutex);
    return m_virtual;
}

RunLoop::Micros RunLoop::clockNow() const {
    if (m_virtual)
        return m_virtualNow;
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - m_epoch);
}

RunLoop::Micros RunLoop::now() const {
    Lock lock(m_mutex);
    return clockNow();
}

void RunLoop::post(Task task) {
    {
        Lock lock(m_mutex);
        m_tasks.push_back(std::move(task));
        ++m_changes;
    }
    m_posted.notify_all();
}

RunLoop::TimerId RunLoop::addTimer(Micros delay, Micros interval, Task task) {
    TimerId id;
    {
        Lock lock(m_mutex);
        id = ++m_lastTimerId;
        m_timers[id] = Timer{clockNow() + std::max(delay, Micros(0)), interval, ++m_order,
                             std::make_shared<Task>(std::move(task))};
        ++m_changes;
    }
    m_posted.notify_all();
    return id;
}

bool RunLoop::cancelTimer(TimerId id) {
    std::shared_ptr<Task> dropped;
    Lock lock(m_mutex);
    auto found = m_timers.find(id);
    if (found == m_timers.end())
        return false;
    dropped = found->second.task;
    m_timers.erase(found);
    lock.unlock();
    return true;
}

bool RunLoop::hasTimer(TimerId id) const {
    Lock lock(m_mutex);
    return m_timers.count(id) != 0;
}

bool RunLoop::idle() const {
    Lock lock(m_mutex);
    return m_tasks.empty() && m_timers.empty();
}

size_t RunLoop::pendingTasks() const {
    Lock lock(m_mutex);
    return m_tasks.size();
}

size_t RunLoop::scheduledTimers() const {
    Lock lock(m_mutex);
    return m_timers.size();
}

bool RunLoop::runNextTask(Lock& lock) {
    if (m_tasks.empty())
        return false;
    Task task = std::move(m_tasks.front());
    m_tasks.pop_front();
    Unlocked unlocked(lock);
    runTask(task, isMain());
    return true;
}

bool RunLoop::runTimer(Lock& lock, TimerId id) {
    auto found = m_timers.find(id);
    if (found == m_timers.end() || found->second.due > clockNow())
        return false;
    Timer& timer = found->second;
    std::shared_ptr<Task> task = timer.task;
    if (timer.interval > Micros(0)) {
        timer.due = std::max(timer.due + timer.interval, clockNow() + Micros(1));
        timer.order = ++m_order;
    } else {
        m_timers.erase(found);
    }
    Unlocked unlocked(lock);
    runTask(*task, isMain());
    return true;
}

size_t RunLoop::runPending() {
    requireOwnThread();
    Lock lock(m_mutex);
    size_t ran = 0;
    // Tasks posted while these run wait for the next pass, so a task that
    // posts itself again cannot hold the loop.
    for (size_t queued = m_tasks.size(); queued > 0 && runNextTask(lock); --queued)
        ++ran;
    std::vector<std::pair<std::pair<Micros, uint64_t>, TimerId>> due;
    for (const auto& [id, timer] : m_timers)
        if (timer.due <= clockNow())
            due.push_back({{timer.due, timer.order}, id});
    std::sort(due.begin(), due.end());
    for (const auto& entry : due)
        if (runTimer(lock, entry.second))
            ++ran;
    return ran;
}

bool RunLoop::nextDue(Micros& due) const {
    bool found = false;
    for (const auto& entry : m_timers) {
        if (!found || entry.second.due < due)
            due = entry.second.due;
        found = true;
    }
    return found;
}

bool RunLoop::waitForChange(Lock& lock, RealTime deadline) {
    uint64_t seen = m_changes;
    return m_posted.wait_until(lock, deadline, [&] { return m_changes != seen; });
}

bool RunLoop::advanceTowards(Lock& lock, Micros end) {
    Micros due;
    bool haveTimer = nextDue(due);
    if (m_virtual) {
        if (!haveTimer || due > end)
            return false;
        m_virtualNow = std::max(m_virtualNow, due);
        return true;
    }
    Micros target = haveTimer ? std::min(due, end) : end;
    if (clockNow() >= end)
        return false;
    waitForChange(lock, m_epoch + target);
    return true;
}

bool RunLoop::runUntilIdle(Micros limit) {
    requireOwnThread();
    const Micros end = now() + limit;
    for (;;) {
        if (runPending() > 0)
            continue;
        Lock lock(m_mutex);
        if (m_tasks.empty() && m_timers.empty())
            return true;
        if (!m_tasks.empty())
            continue;
        if (!advanceTowards(lock, end))
            return false;
    }
}

void RunLoop::runFor(Micros duration) {
    requireOwnThread();
    const Micros end = now() + duration;
    for (;;) {
        if (runPending() > 0)
            continue;
        Lock lock(m_mutex);
        if (!m_tasks.empty())
            continue;
        if (!advanceTowards(lock, end)) {
            if (m_virtual)
                m_virtualNow = std::max(m_virtualNow, end);
            return;
        }
    }
}

bool RunLoop::runUntil(const std::function<bool()>& done, Micros limit, Micros realLimit) {
    requireOwnThread();
    const Micros end = now() + limit;
    const RealTime realDeadline = std::chrono::steady_clock::now() + realLimit;
    for (;;) {
        if (done())
            return true;
        if (runPending() > 0)
            continue;
        Lock lock(m_mutex);
        if (!m_tasks.empty())
            continue;
        if (advanceTowards(lock, end))
            continue;
        // On the virtual clock nothing is due: only another thread can bring work.
        if (!m_virtual || !waitForChange(lock, realDeadline)) {
            lock.unlock();
            return done();
        }
    }
}

} // namespace macos
