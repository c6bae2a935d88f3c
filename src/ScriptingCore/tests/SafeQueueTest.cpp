#include "SafeQueue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(SafeQueue, EmptyQueueLeavesTheOutputAlone) {
    FB::SafeQueue<std::string> queue;
    std::string out = "untouched";
    EXPECT_FALSE(queue.try_pop(out));
    EXPECT_EQ(out, "untouched");
}

TEST(SafeQueue, ElementsComeOutInTheOrderTheyWentIn) {
    FB::SafeQueue<std::string> queue;
    for (const char* value : {"a", "b", "c"}) {
        queue.push(value);
    }
    std::vector<std::string> popped;
    std::string out;
    while (queue.try_pop(out)) {
        popped.push_back(out);
    }
    EXPECT_EQ(popped, (std::vector<std::string>{"a", "b", "c"}));
}

// Several threads push while this one drains: every element comes out once,
// and each thread's elements keep their order.
TEST(SafeQueue, PushesFromManyThreadsWhileDrainingLoseNothing) {
    const int pushers = 4;
    const int perThread = 20000;
    FB::SafeQueue<int> queue;
    std::atomic<int> running(pushers);
    std::vector<std::thread> threads;
    for (int t = 0; t < pushers; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                queue.push(t * perThread + i);
            }
            --running;
        });
    }
    std::vector<int> seen(pushers * perThread, 0);
    std::vector<int> lastOfThread(pushers, -1);
    bool ordered = true;
    int value = 0;
    for (;;) {
        const bool finished = running == 0;
        while (queue.try_pop(value)) {
            ++seen[value];
            ordered = ordered && value % perThread > lastOfThread[value / perThread];
            lastOfThread[value / perThread] = value % perThread;
        }
        if (finished) {
            break;
        }
        std::this_thread::yield();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(ordered);
    for (int count : seen) {
        ASSERT_EQ(count, 1);
    }
}

} // namespace
