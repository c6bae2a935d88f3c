#include <Foundation/Foundation.h>
#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A timer target and main-thread receiver, as the system's helper classes are.
class Counter : public NSObject {
public:
    void fired(id sender) {
        ++calls;
        lastSender = sender;
        onMain = macos::RunLoop::main().isMainThread();
        if (stopAfter && calls == stopAfter)
            static_cast<NSTimer*>(sender)->invalidate();
    }
    int calls = 0;
    int stopAfter = 0;
    id lastSender = nil;
    bool onMain = false;
};

class Other : public NSObject {
public:
    void other(id) {}
};

class ObjectRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.bindToCurrentThread();
        loop.reset(true);
        liveAtStart = macos::liveObjects();
    }
    void TearDown() override {
        loop.reset(false);
        macos::drainMainThreadPool();
        EXPECT_EQ(macos::liveObjects(), liveAtStart);
    }

    macos::RunLoop& loop = macos::RunLoop::main();
    size_t liveAtStart = 0;
};

TEST_F(ObjectRuntimeTest, NewObjectHasOneReferenceAndTheLastReleaseDeletesIt) {
    Counter* counter = new Counter();
    EXPECT_EQ(counter->retainCount(), 1u);
    counter->retain();
    EXPECT_EQ(counter->retainCount(), 2u);
    counter->release();
    EXPECT_EQ(macos::liveObjects(), liveAtStart + 1);
    counter->release();
    EXPECT_EQ(macos::liveObjects(), liveAtStart);
}

TEST_F(ObjectRuntimeTest, PoolReleaseReleasesItsObjectsAndInnerPoolsComeFirst) {
    NSAutoreleasePool* outer = new NSAutoreleasePool();
    Counter* kept = new Counter();
    kept->retain();
    kept->autorelease();
    NSAutoreleasePool* inner = new NSAutoreleasePool();
    Counter* counter = new Counter();
    counter->autorelease();
    EXPECT_EQ(macos::liveObjects(), liveAtStart + 4);
    inner->release();
    EXPECT_EQ(macos::liveObjects(), liveAtStart + 2);
    outer->drain();
    EXPECT_EQ(kept->retainCount(), 1u);
    kept->release();
}

TEST_F(ObjectRuntimeTest, AutoreleaseWithoutPoolOnTheMainThreadWaitsForTheRunLoopPass) {
    Counter* counter = new Counter();
    counter->autorelease();
    EXPECT_EQ(macos::liveObjects(), liveAtStart + 1);
    loop.post([] {});
    loop.runPending();
    EXPECT_EQ(macos::liveObjects(), liveAtStart);
}

TEST_F(ObjectRuntimeTest, AutoreleaseWithoutPoolOffTheMainThreadLeaksAndSaysSo) {
    macos::clearLoggedMessages();
    Counter* counter = new Counter();
    std::thread([counter] { counter->autorelease(); }).join();
    EXPECT_EQ(macos::loggedMessages(),
              (std::vector<std::string>{"autorelease with no pool in place - just leaking"}));
    counter->release();
}

TEST_F(ObjectRuntimeTest, PerformSelectorFromAWorkerRunsOnTheMainLoopAndRetainsUntilThen) {
    Counter* counter = new Counter();
    Counter* argument = new Counter();
    std::thread([&] {
        counter->performSelectorOnMainThread(&Counter::fired, argument, NO);
    }).join();
    EXPECT_EQ(counter->retainCount(), 2u);
    EXPECT_EQ(argument->retainCount(), 2u);
    counter->release();
    argument->release();
    loop.runPending();
    EXPECT_EQ(macos::liveObjects(), liveAtStart);
}

TEST_F(ObjectRuntimeTest, PerformSelectorCallsTheReceiversMemberWithTheArgument) {
    Counter* counter = new Counter();
    Counter* argument = new Counter();
    counter->performSelectorOnMainThread(&Counter::fired, argument, NO);
    EXPECT_EQ(counter->calls, 0);
    loop.runPending();
    EXPECT_EQ(counter->calls, 1);
    EXPECT_EQ(counter->lastSender, argument);
    EXPECT_TRUE(counter->onMain);
    counter->release();
    argument->release();
}

TEST_F(ObjectRuntimeTest, WaitingPerformOnTheMainThreadRunsAtOnceAndFromAWorkerBlocksUntilRun) {
    Counter* counter = new Counter();
    counter->performSelectorOnMainThread(&Counter::fired, nil, YES);
    EXPECT_EQ(counter->calls, 1);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        counter->performSelectorOnMainThread(&Counter::fired, nil, YES);
        returned = true;
    });
    EXPECT_TRUE(loop.runUntil([&] { return counter->calls == 2; }, 1s, 5s));
    worker.join();
    EXPECT_TRUE(returned);
    counter->release();
}

TEST_F(ObjectRuntimeTest, ASelectorOfAnotherClassIsRefused) {
    Counter* counter = new Counter();
    counter->performSelectorOnMainThread(&Other::other, nil, NO);
    EXPECT_THROW(loop.runPending(), std::logic_error);
    counter->release();
}

TEST_F(ObjectRuntimeTest, RepeatingTimerFiresOnTheVirtualClockUntilInvalidated) {
    Counter* target = new Counter();
    NSTimer* timer =
        NSTimer::scheduledTimerWithTimeInterval(0.5, target, &Counter::fired, nil, YES);
    timer->retain();
    EXPECT_EQ(target->retainCount(), 2u);
    loop.runFor(1600ms);
    EXPECT_EQ(target->calls, 3);
    EXPECT_EQ(target->lastSender, timer);
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    timer->release();
    EXPECT_EQ(target->retainCount(), 1u);
    loop.runFor(2s);
    EXPECT_EQ(target->calls, 3);
    target->release();
}

TEST_F(ObjectRuntimeTest, OneShotTimerInvalidatesItselfAfterFiring) {
    Counter* target = new Counter();
    NSTimer* timer = NSTimer::scheduledTimerWithTimeInterval(0.1, target, &Counter::fired, nil, NO);
    timer->retain();
    EXPECT_TRUE(loop.runUntilIdle(1s));
    EXPECT_EQ(target->calls, 1);
    EXPECT_FALSE(timer->isValid());
    timer->release();
    target->release();
}

TEST_F(ObjectRuntimeTest, TimerMayBeInvalidatedFromItsOwnAction) {
    Counter* target = new Counter();
    target->stopAfter = 2;
    NSTimer::scheduledTimerWithTimeInterval(0.01, target, &Counter::fired, nil, YES);
    EXPECT_TRUE(loop.runUntilIdle(1s));
    EXPECT_EQ(target->calls, 2);
    target->release();
}

// A timer scheduled on another thread belongs to that thread's loop: the
// main loop never fires it, the thread's own loop does while it runs.
TEST_F(ObjectRuntimeTest, AnotherThreadsTimerFiresOnlyOnItsOwnLoop) {
    Counter* target = new Counter();
    target->stopAfter = 2;
    size_t onWorkerLoop = 0, onMainLoop = 0;
    bool idle = false;
    std::thread worker([&] {
        NSAutoreleasePool* pool = new NSAutoreleasePool();
        NSTimer::scheduledTimerWithTimeInterval(0.01, target, &Counter::fired, nil, YES);
        onWorkerLoop = macos::RunLoop::current()->scheduledTimers();
        onMainLoop = loop.scheduledTimers();
        idle = macos::RunLoop::current()->runUntilIdle(2s);
        pool->drain();
    });
    worker.join();
    EXPECT_EQ(onWorkerLoop, 1u);
    EXPECT_EQ(onMainLoop, 0u);
    EXPECT_TRUE(idle) << "the timer invalidated itself on its thread";
    EXPECT_EQ(target->calls, 2);
    EXPECT_FALSE(target->onMain);
    target->release();
}

TEST_F(ObjectRuntimeTest, AThreadsTimersGoWithItsLoopWhenTheThreadEnds) {
    Counter* target = new Counter();
    std::thread([target] {
        NSAutoreleasePool* pool = new NSAutoreleasePool();
        NSTimer::scheduledTimerWithTimeInterval(0.01, target, &Counter::fired, nil, YES);
        pool->drain();
    }).join();
    EXPECT_EQ(target->retainCount(), 1u) << "the timer that retained it is gone";
    EXPECT_EQ(target->calls, 0);
    target->release();
}

// As on macOS, only the timer's thread may invalidate it; from another thread
// the call is counted and the timer goes on.
TEST_F(ObjectRuntimeTest, InvalidatingFromAnotherThreadIsCountedAndLeavesTheTimerRunning) {
    Counter* target = new Counter();
    NSTimer* timer =
        NSTimer::scheduledTimerWithTimeInterval(0.5, target, &Counter::fired, nil, YES);
    timer->retain();
    const size_t before = macos::timerInvalidationsFromOtherThreads();
    std::thread([timer] { timer->invalidate(); }).join();
    EXPECT_EQ(macos::timerInvalidationsFromOtherThreads(), before + 1);
    EXPECT_TRUE(timer->isValid());
    loop.runFor(1100ms);
    EXPECT_EQ(target->calls, 2);
    timer->invalidate();
    EXPECT_EQ(macos::timerInvalidationsFromOtherThreads(), before + 1) << "its own thread may";
    EXPECT_FALSE(timer->isValid());
    timer->release();
    target->release();
}

} // namespace
