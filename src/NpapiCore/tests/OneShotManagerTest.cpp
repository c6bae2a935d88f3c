// The one-shot calls on the main run loop that every hop to the main thread
// ends in.

#include "OneShotManager.h"
#include "NpapiPluginModule.h"

#include <MacStandIn/RunLoop.h>

#include <gtest/gtest.h>

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
