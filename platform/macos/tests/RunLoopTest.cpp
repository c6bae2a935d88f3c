#include <MacStandIn/RunLoop.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using macos::RunLoop;

namespace {

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.bindToCurrentThread();
        loop.reset(true);
    }
    void TearDown() override { loop.reset(false); }

    RunLoop& loop = RunLoop::main();
    std::vector<std::string> ran;
};

TEST_F(RunLoopTest, PostedTasksRunInOrderOnlyWhenTheLoopRuns) {
    loop.post([&] { ran.push_back("a"); });
    loop.post([&] { ran.push_back("b"); });
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(loop.runPending(), 2u);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(loop.idle());
}

TEST_F(RunLoopTest, ATaskPostedByATaskWaitsForTheNextPass) {
    std::function<void()> again = [&] {
        ran.push_back("tick");
        loop.post(again);
    };
    loop.post(again);
    EXPECT_EQ(loop.runPending(), 1u);
    EXPECT_EQ(loop.pendingTasks(), 1u);
}

TEST_F(RunLoopTest, VirtualClockJumpsFromTimerToTimerInDueOrder) {
    loop.addTimer(300ms, 0ms, [&] { ran.push_back("300"); });
    loop.addTimer(100ms, 0ms, [&] { ran.push_back("100"); });
    loop.addTimer(100ms, 0ms, [&] { ran.push_back("100 second"); });
    auto realStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.runUntilIdle(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 1s);
    EXPECT_EQ(ran, (std::vector<std::string>{"100", "100 second", "300"}));
    EXPECT_EQ(loop.now(), 300ms);
}

TEST_F(RunLoopTest, RepeatingTimerFiresEachIntervalUntilCancelled) {
    int ticks = 0;
    RunLoop::TimerId id = loop.addTimer(50ms, 50ms, [&] { ++ticks; });
    loop.runFor(175ms);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(loop.now(), 175ms);
    EXPECT_TRUE(loop.cancelTimer(id));
    EXPECT_FALSE(loop.cancelTimer(id));
    loop.runFor(1s);
    EXPECT_EQ(ticks, 3);
}

TEST_F(RunLoopTest, RunUntilIdleStopsAtTheLimitWhileATimerRepeats) {
    int ticks = 0;
    loop.addTimer(10ms, 10ms, [&] { ++ticks; });
    EXPECT_FALSE(loop.runUntilIdle(100ms));
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(loop.now(), 100ms);
}

TEST_F(RunLoopTest, ATimerMayCancelItselfWhileItRuns) {
    RunLoop::TimerId id = 0;
    int ticks = 0;
    id = loop.addTimer(10ms, 10ms, [&] {
        ++ticks;
        loop.cancelTimer(id);
    });
    EXPECT_TRUE(loop.runUntilIdle(1s));
    EXPECT_EQ(ticks, 1);
}

TEST_F(RunLoopTest, AThrowingTaskLeavesTheLoopUsable) {
    loop.post([] { throw std::runtime_error("page error"); });
    loop.post([&] { ran.push_back("after"); });
    EXPECT_THROW(loop.runPending(), std::runtime_error);
    loop.runPending();
    EXPECT_EQ(ran, (std::vector<std::string>{"after"}));
}

TEST_F(RunLoopTest, OnlyTheMainThreadRunsTheLoop) {
    std::atomic<bool> refused{false};
    std::thread other([&] {
        try {
            loop.runPending();
        } catch (const std::logic_error&) {
            refused = true;
        }
    });
    other.join();
    EXPECT_TRUE(refused);
    EXPECT_TRUE(loop.isMainThread());
}

// Another thread's loop is its own: the main loop never runs its work, and
// only that thread runs it.
TEST_F(RunLoopTest, EveryOtherThreadHasALoopThatOnlyItRuns) {
    EXPECT_EQ(RunLoop::current().get(), &loop);
    std::shared_ptr<RunLoop> workerLoop;
    bool sameLoopAgain = false, ranOnWorker = false;
    size_t ranByWorker = 0;
    std::thread worker([&] {
        workerLoop = RunLoop::current();
        sameLoopAgain = RunLoop::current() == workerLoop;
        workerLoop->post([&] { ranOnWorker = workerLoop->isCurrent() && !loop.isMainThread(); });
        ranByWorker = workerLoop->runPending();
    });
    worker.join();
    EXPECT_NE(workerLoop.get(), &loop);
    EXPECT_TRUE(sameLoopAgain);
    EXPECT_EQ(ranByWorker, 1u);
    EXPECT_TRUE(ranOnWorker);
    EXPECT_TRUE(loop.idle());
    workerLoop->post([] {});
    EXPECT_THROW(workerLoop->runPending(), std::logic_error) << "the main thread may not run it";
}

TEST_F(RunLoopTest, PostsFromManyThreadsAllRunOnTheMainThread) {
    const int threads = 4, postsEach = 100;
    std::atomic<int> onMain{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (int i = 0; i < postsEach; ++i)
                loop.post([&] {
                    if (loop.isMainThread())
                        ++onMain;
                });
        });
    bool done = loop.runUntil([&] { return onMain == threads * postsEach; }, 1s, 5s);
    for (auto& worker : workers)
        worker.join();
    loop.runPending();
    EXPECT_TRUE(done);
    EXPECT_EQ(onMain, threads * postsEach);
}

TEST_F(RunLoopTest, RunUntilGivesUpAfterTheRealLimitWhenNothingComes) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.runUntil([] { return false; }, 1s, 50ms));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 2s);
}

TEST_F(RunLoopTest, RealClockWaitsForTheTimer) {
    loop.reset(false);
    bool fired = false;
    // The timer's delay counts from its adding, so the wait is measured from there.
    auto start = std::chrono::steady_clock::now();
    loop.addTimer(20ms, 0ms, [&] { fired = true; });
    EXPECT_TRUE(loop.runUntilIdle(2s));
    EXPECT_TRUE(fired);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST_F(RunLoopTest, ResetDropsPendingWorkAndRestartsTheClock) {
    loop.post([&] { ran.push_back("ran"); });
    loop.addTimer(5ms, 0ms, [&] { ran.push_back("dropped"); });
    loop.runFor(1ms);
    loop.post([&] { ran.push_back("dropped"); });
    loop.reset(true);
    EXPECT_TRUE(loop.idle());
    EXPECT_EQ(loop.now(), 0ms);
    loop.runUntilIdle(1s);
    EXPECT_EQ(ran, (std::vector<std::string>{"ran"}));
}

} // namespace

namespace {

TEST_F(RunLoopTest, RealClockRunUntilReturnsWhenNothingComes) {
    loop.reset(false);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.runUntil([&] { return !loop.idle(); }, 30ms, 0ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

} // namespace
