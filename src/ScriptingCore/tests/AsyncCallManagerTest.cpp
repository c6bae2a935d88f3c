#include "AsyncFunctionCall.h"
#include "FakeBrowserHost.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Callback data that counts its runs and the thread they ran on.
struct Counter {
    int runs = 0;
    std::thread::id ranOn;
};

void count(void* data) {
    Counter* const counter = static_cast<Counter*>(data);
    ++counter->runs;
    counter->ranOn = std::this_thread::get_id();
}

void countThenFail(void* data) {
    count(data);
    throw std::runtime_error("callback failed");
}

void countThenThrowAnything(void* data) {
    count(data);
    throw 42;
}

class AsyncCallManagerTest : public ::testing::Test {
protected:
    boost::shared_ptr<FB::AsyncCallManager> manager = boost::make_shared<FB::AsyncCallManager>();
};

TEST_F(AsyncCallManagerTest, NumbersRecordsFromTwo) {
    Counter counter;
    EXPECT_EQ(manager->makeCallback(&count, &counter)->id(), 2);
    EXPECT_EQ(manager->makeCallback(&count, &counter)->id(), 3);
    manager->shutdown();
}

TEST_F(AsyncCallManagerTest, ADeliveredRecordRunsOnce) {
    Counter counter;
    FB::_asyncCallData* const data = manager->makeCallback(&count, &counter);
    EXPECT_EQ(data->manager(), manager);
    FB::asyncCallWrapper(data);
    EXPECT_EQ(counter.runs, 1);

    manager->shutdown();
    EXPECT_EQ(counter.runs, 1) << "a delivered record is no longer pending";
}

TEST_F(AsyncCallManagerTest, ARecordFiresAtMostOnce) {
    Counter counter;
    FB::_asyncCallData data(&count, &counter, 7, manager);
    EXPECT_FALSE(data.called());
    data.call();
    EXPECT_TRUE(data.called());
    data.call();
    EXPECT_EQ(counter.runs, 1);
}

TEST_F(AsyncCallManagerTest, ARecordThatIsNotPendingIsLeftAlone) {
    Counter counter;
    FB::_asyncCallData stray(&count, &counter, 7, manager);
    manager->call(&stray);
    EXPECT_EQ(counter.runs, 0);
    EXPECT_FALSE(stray.called());
}

TEST_F(AsyncCallManagerTest, ShutdownRunsEveryPendingRecordOnceAndLateDeliveriesDoNothing) {
    std::vector<Counter> counters(3);
    std::vector<FB::_asyncCallData*> records;
    for (Counter& counter : counters) {
        records.push_back(manager->makeCallback(&count, &counter));
    }
    manager->shutdown();
    for (const Counter& counter : counters) {
        EXPECT_EQ(counter.runs, 1);
        EXPECT_EQ(counter.ranOn, std::this_thread::get_id());
    }

    for (FB::_asyncCallData* record : records) {
        FB::asyncCallWrapper(record);
    }
    manager->shutdown();
    for (const Counter& counter : counters) {
        EXPECT_EQ(counter.runs, 1);
    }
}

TEST_F(AsyncCallManagerTest, ShutdownRunsTheOthersWhenOneFails) {
    std::vector<Counter> counters(4);
    manager->makeCallback(&count, &counters[0]);
    manager->makeCallback(&countThenFail, &counters[1]);
    manager->makeCallback(&countThenThrowAnything, &counters[2]);
    manager->makeCallback(&count, &counters[3]);

    EXPECT_NO_THROW(manager->shutdown());
    for (const Counter& counter : counters) {
        EXPECT_EQ(counter.runs, 1);
    }
    manager->shutdown();
    EXPECT_EQ(counters[1].runs, 1);
}

TEST_F(AsyncCallManagerTest, NoFailureLeavesTheBrowsersCallback) {
    Counter failing;
    Counter throwing;
    EXPECT_NO_THROW(FB::asyncCallWrapper(manager->makeCallback(&countThenFail, &failing)));
    EXPECT_NO_THROW(
        FB::asyncCallWrapper(manager->makeCallback(&countThenThrowAnything, &throwing)));
    EXPECT_EQ(failing.runs, 1);
    EXPECT_EQ(throwing.runs, 1);
}

TEST_F(AsyncCallManagerTest, ARemovedRecordNeverRuns) {
    Counter counter;
    EXPECT_TRUE(manager->remove(manager->makeCallback(&count, &counter)));
    manager->shutdown();
    EXPECT_EQ(counter.runs, 0);
}

TEST_F(AsyncCallManagerTest, ARecordThatShutdownRanCannotBeRemoved) {
    Counter counter;
    FB::_asyncCallData* const data = manager->makeCallback(&count, &counter);
    manager->shutdown();
    EXPECT_FALSE(manager->remove(data));
    EXPECT_EQ(counter.runs, 1);
}

TEST_F(AsyncCallManagerTest, ADeliveryAfterTheManagerIsGoneDoesNothing) {
    Counter counter;
    FB::_asyncCallData orphan(&count, &counter, 7, manager);
    manager.reset();
    FB::asyncCallWrapper(&orphan);
    EXPECT_EQ(counter.runs, 0);
}

class ScheduleAsyncCall : public ::testing::Test {
protected:
    void TearDown() override { host->shutdown(); }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
};

TEST_F(ScheduleAsyncCall, RunsTheCallOnceWhenTheMainThreadIsPumped) {
    Counter counter;
    std::thread worker([&] { EXPECT_TRUE(host->ScheduleAsyncCall(&count, &counter)); });
    worker.join();
    EXPECT_EQ(counter.runs, 0);
    EXPECT_EQ(host->pumpMainThread(), 1u);
    EXPECT_EQ(counter.runs, 1);
    EXPECT_EQ(counter.ranOn, std::this_thread::get_id());
}

TEST_F(ScheduleAsyncCall, ARefusedCallLeavesNothingPending) {
    Counter counter;
    host->refusesScheduling = true;
    EXPECT_FALSE(host->ScheduleAsyncCall(&count, &counter));
    host->shutdown();
    EXPECT_EQ(counter.runs, 0);
}

TEST_F(ScheduleAsyncCall, AfterShutdownNothingIsScheduled) {
    Counter counter;
    host->shutdown();
    const int asked = host->scheduleRequests;
    EXPECT_FALSE(host->ScheduleAsyncCall(&count, &counter));
    EXPECT_EQ(host->scheduleRequests, asked) << "the browser is not asked after shutdown";
    EXPECT_EQ(host->pendingCalls(), 0u);
    host->pumpMainThread();
    EXPECT_EQ(counter.runs, 0);
}

TEST_F(ScheduleAsyncCall, ShutdownRunsWhatTheBrowserHasNotDeliveredAndTheLateDeliveryDoesNothing) {
    Counter counter;
    ASSERT_TRUE(host->ScheduleAsyncCall(&count, &counter));
    host->shutdown();
    EXPECT_EQ(counter.runs, 1);
    EXPECT_EQ(host->pumpMainThread(), 1u);
    EXPECT_EQ(counter.runs, 1);
}

TEST_F(ScheduleAsyncCall, ACallbackRunByTheShutdownMayShutTheHostDownAgain) {
    struct Reentry {
        FakeBrowserHost* host;
        int runs;
    } reentry{host.get(), 0};
    ASSERT_TRUE(host->ScheduleAsyncCall(
        [](void* data) {
            Reentry* const self = static_cast<Reentry*>(data);
            ++self->runs;
            self->host->shutdown();
        },
        &reentry));
    host->shutdown();
    EXPECT_EQ(reentry.runs, 1);
}

// A browser whose scheduling fails with an exception.
class ThrowingScheduler : public FakeBrowserHost {
public:
    bool _scheduleAsyncCall(void (*)(void*), void*) const override {
        throw std::runtime_error("no memory for the queue");
    }
};

TEST(ScheduleAsyncCallFailure, AFailingBrowserLeavesNothingPending) {
    const auto host = boost::make_shared<ThrowingScheduler>();
    Counter counter;
    EXPECT_THROW(host->ScheduleAsyncCall(&count, &counter), std::runtime_error);
    host->shutdown();
    EXPECT_EQ(counter.runs, 0);
}

// A browser that refuses the call only after the host's shutdown, on the
// main thread, has already run it: the callback then owns the data.
class ShutdownWhileScheduling : public FakeBrowserHost {
public:
    bool _scheduleAsyncCall(void (*)(void*), void*) const override {
        const_cast<ShutdownWhileScheduling*>(this)->shutdown();
        return false;
    }
};

TEST(ScheduleAsyncCallRace, ACallThatShutdownRanCountsAsScheduled) {
    const auto host = boost::make_shared<ShutdownWhileScheduling>();
    int* const data = new int(0);
    const bool scheduled = host->ScheduleAsyncCall(
        [](void* owned) {
            const std::unique_ptr<int> value(static_cast<int*>(owned));
            ++*value;
        },
        data);
    EXPECT_TRUE(scheduled) << "the callback has taken the data";
    if (!scheduled) {
        delete data;
    }
}

} // namespace
