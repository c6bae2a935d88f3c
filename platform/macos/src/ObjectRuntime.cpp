// NSObject reference counting, autorelease pools, main-thread messages, NSThread and NSTimer.
#include <Foundation/Foundation.h>
#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>

#include <algorithm>
#include <future>
#include <stdexcept>

namespace {

std::atomic<size_t> g_liveObjects{0};
std::atomic<size_t> g_foreignTimerInvalidations{0};

thread_local std::vector<NSAutoreleasePool*> t_pools;

// Autoreleased on the main thread with no pool in place; main thread only.
std::vector<NSObject*>& mainThreadPool() {
    static std::vector<NSObject*> objects;
    return objects;
}

void releaseAll(std::vector<NSObject*>& objects) {
    while (!objects.empty()) {
        std::vector<NSObject*> batch;
        batch.swap(objects);
        for (NSObject* object : batch)
            object->release();
    }
}

// One reference to an object for as long as this holder lives.
class Retained {
public:
    explicit Retained(NSObject* object) : m_object(object) {
        if (m_object)
            m_object->retain();
    }
    ~Retained() {
        if (m_object)
            m_object->release();
    }
    Retained(const Retained&) = delete;
    Retained& operator=(const Retained&) = delete;
    NSObject* get() const { return m_object; }

private:
    NSObject* m_object;
};

// Owns the reference that a reference-counted object was created with.
class Adopted {
public:
    explicit Adopted(NSObject* object) : m_object(object) {}
    ~Adopted() { m_object->release(); }
    Adopted(const Adopted&) = delete;
    Adopted& operator=(const Adopted&) = delete;
    NSObject* get() const { return m_object; }

private:
    NSObject* m_object;
};

} // namespace

void SEL::throwUnrecognizedSelector() {
    throw std::logic_error("unrecognized selector sent to instance");
}

NSObject::NSObject() : m_retainCount(1) {
    ++g_liveObjects;
}

NSObject::~NSObject() {
    --g_liveObjects;
}

id NSObject::retain() {
    ++m_retainCount;
    return this;
}

void NSObject::release() {
    if (--m_retainCount == 0)
        delete this;
}

NSUInteger NSObject::retainCount() const {
    return m_retainCount;
}

id NSObject::autorelease() {
    if (!t_pools.empty())
        t_pools.back()->addObject(this);
    else if (macos::RunLoop::main().isMainThread())
        mainThreadPool().push_back(this);
    else
        NSLog("autorelease with no pool in place - just leaking");
    return this;
}

void NSObject::performSelectorOnMainThread(SEL selector, id argument, BOOL wait) {
    macos::RunLoop& loop = macos::RunLoop::main();
    if (wait && loop.isMainThread()) {
        selector.send(this, argument);
        return;
    }
    auto receiver = std::make_shared<Retained>(this);
    auto held = std::make_shared<Retained>(argument);
    if (!wait) {
        loop.post([receiver, held, selector] { selector.send(receiver->get(), held->get()); });
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    loop.post([receiver, held, selector, done] {
        try {
            selector.send(receiver->get(), held->get());
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

NSAutoreleasePool::NSAutoreleasePool() {
    t_pools.push_back(this);
}

NSAutoreleasePool::~NSAutoreleasePool() {
    releaseAll(m_objects);
    t_pools.erase(std::remove(t_pools.begin(), t_pools.end(), this), t_pools.end());
}

void NSAutoreleasePool::addObject(NSObject* object) {
    m_objects.push_back(object);
}

BOOL NSThread::isMainThread() {
    return macos::RunLoop::main().isMainThread() ? YES : NO;
}

namespace macos {

size_t liveObjects() {
    return g_liveObjects;
}

size_t timerInvalidationsFromOtherThreads() {
    return g_foreignTimerInvalidations;
}

void drainMainThreadPool() {
    releaseAll(mainThreadPool());
}

} // namespace macos

NSTimer::NSTimer(NSTimeInterval seconds, id target, SEL selector, id userInfo, BOOL repeats)
    : m_interval(seconds), m_target(target), m_selector(selector), m_userInfo(userInfo),
      m_repeats(repeats) {
    if (m_target)
        m_target->retain();
    if (m_userInfo)
        m_userInfo->retain();
}

NSTimer::~NSTimer() {
    if (m_target)
        m_target->release();
    if (m_userInfo)
        m_userInfo->release();
}

NSTimer* NSTimer::scheduledTimerWithTimeInterval(NSTimeInterval seconds, id target, SEL selector,
                                                 id userInfo, BOOL repeats) {
    using namespace std::chrono;
    const double shortest = 0.0001;
    NSTimer* timer = new NSTimer(std::max(seconds, shortest), target, selector, userInfo, repeats);
    // The run loop's task owns the creation reference; the caller gets an autoreleased one.
    auto scheduled = std::make_shared<Adopted>(timer);
    auto interval = duration_cast<microseconds>(duration<double>(timer->m_interval));
    const std::shared_ptr<macos::RunLoop> loop = macos::RunLoop::current();
    timer->m_runLoop = loop;
    timer->m_runLoopTimer =
        loop->addTimer(interval, repeats ? interval : microseconds(0),
                       [scheduled] { static_cast<NSTimer*>(scheduled->get())->fire(); });
    timer->retain();
    timer->autorelease();
    return timer;
}

void NSTimer::fire() {
    Retained self(this);
    m_selector.send(m_target, this);
    if (!m_repeats)
        invalidate();
}

void NSTimer::invalidate() {
    uint64_t scheduled = m_runLoopTimer;
    if (!scheduled)
        return;
    const std::shared_ptr<macos::RunLoop> loop = m_runLoop.lock();
    if (!loop || !loop->isCurrent()) {
        ++g_foreignTimerInvalidations;
        return;
    }
    m_runLoopTimer = 0;
    id target = m_target;
    id userInfo = m_userInfo;
    m_target = nil;
    m_userInfo = nil;
    if (target)
        target->release();
    if (userInfo)
        userInfo->release();
    // Last: dropping the loop's task may release this timer's last reference.
    loop->cancelTimer(scheduled);
}

BOOL NSTimer::isValid() const {
    const uint64_t scheduled = m_runLoopTimer;
    const std::shared_ptr<macos::RunLoop> loop = m_runLoop.lock();
    return scheduled != 0 && loop && loop->hasTimer(scheduled);
}
