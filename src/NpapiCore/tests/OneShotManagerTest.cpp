// The one-shot calls on the main run loop that every hop to the main thread
// ends in.

#include "OneShotManager.h"
#include "NpapiPluginModule.h"

#include <MacStandIn/RunLoop.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> g_ran;

void record(void* label) {
    g_ran.push_back(static_cast<const char*>(label));
}

char first[] = "first", second[] = "second", third[] = "third";

class OneShotCalls : public ::testing::Test {
protected:
    void SetUp() override {
        loop.bindToCurrentThread();
        loop.reset(true);
        g_ran.clear();
    }
    void TearDown() override {
        manager.npp_unregister(&lower);
        manager.npp_unregister(&higher);
        loop.reset(false);
    }

    macos::RunLoop& loop = macos::RunLoop::main();
    FB::OneShotManager& manager = FB::OneShotManager::getInstance();
    // Two instances; the drain takes the lower address first.
    NPP_t pair[2]{};
    NPP_t& lower = pair[0];
    NPP_t& higher = pair[1];
};

TEST_F(OneShotCalls, CallsFromAnotherThreadRunInOrderFromOneDispatch) {
    manager.npp_register(&lower);
    std::thread worker([&] {
        for (char* label : {first, second, third}) {
            FB::Npapi::NpapiPluginModule::scheduleAsyncCallback(&lower, &record, label);
        }
    });
    worker.join();
    EXPECT_EQ(loop.pendingTasks(), 1u);
    loop.runPending();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"first", "second", "third"}));
}

// Each thread's calls run in the order it made them, all in one dispatch.
TEST_F(OneShotCalls, BurstsFromSeveralThreadsRunInEachThreadsOrder) {
    const int threads = 4, calls = 200;
    static std::vector<std::pair<int, int>> ran;
    ran.clear();
    std::vector<std::pair<int, int>> labels;
    for (int thread = 0; thread < threads; ++thread) {
        for (int call = 0; call < calls; ++call) {
            labels.emplace_back(thread, call);
        }
    }
    manager.npp_register(&lower);
    std::vector<std::thread> workers;
    for (int thread = 0; thread < threads; ++thread) {
        workers.emplace_back([&, thread] {
            for (int call = 0; call < calls; ++call) {
                FB::Npapi::NpapiPluginModule::scheduleAsyncCallback(
                    &lower,
                    [](void* label) { ran.push_back(*static_cast<std::pair<int, int>*>(label)); },
                    &labels[thread * calls + call]);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(loop.pendingTasks(), 1u);
    loop.runPending();
    ASSERT_EQ(ran.size(), labels.size());
    std::vector<int> next(threads, 0);
    for (const std::pair<int, int>& call : ran) {
        EXPECT_EQ(call.second, next[call.first]++) << "thread " << call.first;
    }
}

// The drain goes on past a call that raises, and later calls are posted
// again: nothing is left waiting for a dispatch that never comes.
TEST_F(OneShotCalls, ACallThatRaisesDoesNotStallTheQueue) {
    manager.npp_register(&lower);
    manager.npp_scheduleAsyncCallback(
        &lower, [](void*) { throw std::runtime_error("a failing call"); }, nullptr);
    manager.npp_scheduleAsyncCallback(&lower, &record, first);
    manager.npp_scheduleAsyncCallback(
        &lower, [](void*) { throw 42; }, nullptr);
    manager.npp_scheduleAsyncCallback(&lower, &record, second);
    EXPECT_NO_THROW(loop.runPending());
    EXPECT_EQ(g_ran, (std::vector<std::string>{"first", "second"}));
    manager.npp_scheduleAsyncCallback(&lower, &record, third);
    EXPECT_EQ(loop.pendingTasks(), 1u);
    loop.runPending();
    EXPECT_EQ(g_ran.back(), "third");
}

TEST_F(OneShotCalls, ACallForAnInstanceNotRegisteredIsDropped) {
    manager.npp_scheduleAsyncCallback(&lower, &record, first);
    EXPECT_EQ(loop.pendingTasks(), 0u);
    manager.npp_register(&lower);
    manager.npp_register(&higher);
    manager.npp_scheduleAsyncCallback(&lower, &record, first);
    manager.npp_scheduleAsyncCallback(&lower, &record, second);
    manager.npp_scheduleAsyncCallback(&higher, &record, third);
    manager.npp_unregister(&lower);
    loop.runPending();
    EXPECT_EQ(g_ran, std::vector<std::string>{"third"});
}

// The pending count decides whether a call posts a dispatch: one is posted
// only when nothing was pending. Unregistering takes exactly the instance's
// waiting calls off the count, so the other instance's call still counts and
// posts nothing, and once that has run the next call posts again.
TEST_F(OneShotCalls, UnregisteringTakesItsWaitingCallsOffThePendingCount) {
    manager.npp_register(&lower);
    manager.npp_register(&higher);
    manager.npp_scheduleAsyncCallback(&lower, &record, first);
    manager.npp_scheduleAsyncCallback(&lower, &record, second);
    manager.npp_scheduleAsyncCallback(&higher, &record, third);
    ASSERT_EQ(loop.pendingTasks(), 1u);
    manager.npp_unregister(&lower);

    manager.npp_scheduleAsyncCallback(&higher, &record, third);
    EXPECT_EQ(loop.pendingTasks(), 1u) << "one call is still pending: no second dispatch";
    loop.runPending();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"third", "third"}));

    manager.npp_scheduleAsyncCallback(&higher, &record, first);
    EXPECT_EQ(loop.pendingTasks(), 1u) << "nothing was pending: a new dispatch";
    loop.runPending();
    EXPECT_EQ(g_ran.back(), "first");
}

TEST_F(OneShotCalls, RegisteringAgainKeepsTheQueueAndItsCalls) {
    manager.npp_register(&lower);
    manager.npp_scheduleAsyncCallback(&lower, &record, first);
    manager.npp_scheduleAsyncCallback(&lower, &record, second);
    manager.npp_register(&lower);
    manager.npp_scheduleAsyncCallback(&lower, &record, third);
    loop.runPending();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(OneShotCalls, TheLowerInstanceIsDrainedFirstAndACallMayScheduleAnother) {
    manager.npp_register(&higher);
    manager.npp_register(&lower);
    manager.npp_register(&lower);
    manager.npp_scheduleAsyncCallback(&higher, &record, third);
    manager.npp_scheduleAsyncCallback(
        &lower,
        [](void* instance) {
            record(first);
            FB::OneShotManager::getInstance().npp_scheduleAsyncCallback(instance, &record, second);
        },
        &lower);
    loop.runPending();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"first", "second", "third"}));
    loop.runPending();
    EXPECT_EQ(g_ran.size(), 3u);
}

} // namespace
