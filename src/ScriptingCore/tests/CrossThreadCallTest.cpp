#include "CrossThreadCall.h"
#include "BrowserHost.h"
#include "FakeBrowserHost.h"
#include "JSExceptions.h"
#include "LogCapture.h"
#include "MainThreadPump.h"
#include "NullLogger.h"
#include "TestObjects.h"
#include "variant_list.h"

#include <atomic>
#include <boost/make_shared.hpp>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using FB::variant;

// Through the log's recorder seam: runs an action, once, on the main thread
// where it has taken a blocking call for its caller and not yet begun it.
class WhenABlockingCallIsTaken {
public:
    explicit WhenABlockingCallIsTaken(std::function<void()> action) {
        pending() = std::move(action);
        FB::Log::setRecorder(&record);
    }
    ~WhenABlockingCallIsTaken() {
        FB::Log::setRecorder(nullptr);
        pending() = nullptr;
    }
    WhenABlockingCallIsTaken(const WhenABlockingCallIsTaken&) = delete;
    WhenABlockingCallIsTaken& operator=(const WhenABlockingCallIsTaken&) = delete;

private:
    static void record(const FB::Log::Record& entry) {
        if (entry.src != "CrossThreadCall" ||
            entry.msg != "Taking a blocking call for its caller") {
            return;
        }
        std::function<void()> action;
        action.swap(pending());
        if (action) {
            action();
        }
    }
    static std::function<void()>& pending() {
        static std::function<void()> action;
        return action;
    }
};

class CrossThreadCalls : public ::testing::Test {
protected:
    void TearDown() override { host->shutdown(); }

    // Runs call on a worker while this thread plays the main thread; the
    // worker's outcome is its result or the text of its script error.
    template <class Call> std::string onWorker(Call call) {
        std::future<std::string> outcome = std::async(std::launch::async, [call] {
            try {
                return call();
            } catch (const FB::script_error& e) {
                return std::string("script_error: ") + e.what();
            }
        });
        if (!pumpUntil(*host, [&] {
                return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            })) {
            ADD_FAILURE() << "the worker did not come back";
            host->shutdown();
        }
        return outcome.get();
    }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
};

TEST_F(CrossThreadCalls, OnTheMainThreadTheCallRunsInlineEvenAfterShutdown) {
    EXPECT_EQ(host->CallOnMainThread([] { return 7; }), 7);
    host->shutdown();
    EXPECT_EQ(host->CallOnMainThread([] { return std::string("inline"); }), "inline");
    EXPECT_THROW(host->CallOnMainThread([]() -> int { throw std::logic_error("as is"); }),
                 std::logic_error);
    EXPECT_EQ(host->pendingCalls(), 0u);
}

TEST_F(CrossThreadCalls, AWorkerGetsTheResultComputedOnTheMainThread) {
    LogCapture capture;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    const std::string outcome = onWorker([&] {
        const variant result = host->CallOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            return variant(std::string("from main"));
        });
        return result.cast<std::string>();
    });
    EXPECT_EQ(outcome, "from main");
    EXPECT_EQ(ranOn, mainThread);

    int sideEffect = 0;
    onWorker([&] {
        host->CallOnMainThread([&sideEffect] { sideEffect = 5; });
        return std::string();
    });
    EXPECT_EQ(sideEffect, 5);
    EXPECT_EQ(capture.messages("FunctorCall"),
              (std::vector<std::string>{"Destroying FunctorCall object (non-void)",
                                        "Destroying FunctorCall object (void)"}));
}

// Every failure on the main thread reaches the worker as a script error
// with the failure's text.
TEST_F(CrossThreadCalls, AWorkerGetsEveryFailureAsAScriptErrorWithItsText) {
    const std::vector<std::pair<std::function<int()>, std::string>> cases = {
        {[]() -> int { throw FB::invalid_member("gone"); },
         "script_error: The specified member does not exist: gone"},
        {[]() -> int { throw std::runtime_error("broken"); }, "script_error: broken"},
        {[]() -> int { return variant("text").convert_cast<FB::VariantList>().size(); },
         "script_error: bad cast"},
        {[]() -> int { throw 42; }, "script_error: Unknown error"},
    };
    for (const auto& testCase : cases) {
        const auto call = testCase.first;
        EXPECT_EQ(onWorker([&] { return std::to_string(host->CallOnMainThread(call)); }),
                  testCase.second);
    }
}

TEST_F(CrossThreadCalls, AWorkerCannotMarshalWhenTheCallIsRefused) {
    bool ran = false;
    const auto call = [&] {
        return std::to_string(host->CallOnMainThread([&] {
            ran = true;
            return 1;
        }));
    };
    host->refusesScheduling = true;
    EXPECT_EQ(onWorker(call), "script_error: Could not marshal to main thread");
    host->refusesScheduling = false;
    host->shutdown();
    EXPECT_EQ(onWorker(call), "script_error: Could not marshal to main thread");
    host->pumpMainThread();
    EXPECT_FALSE(ran);
}

// The main thread shuts down instead of pumping: the waiting worker's call
// runs during the shutdown, and the worker hears "Shutting down" in
// bounded time all the same.
// The shutdown either runs the waiting call or finds that the worker has
// already given it up; either way the worker hears "Shutting down", and the
// call never runs after the worker has left.
TEST_F(CrossThreadCalls, AWorkerWaitingThroughTheShutdownHearsShuttingDown) {
    std::atomic<bool> workerLeft(false);
    std::atomic<bool> ranAfterWorkerLeft(false);
    std::future<std::string> outcome = std::async(std::launch::async, [&] {
        std::string result;
        try {
            result = std::to_string(host->CallOnMainThread([&] {
                ranAfterWorkerLeft = workerLeft.load();
                return 1;
            }));
        } catch (const FB::script_error& e) {
            result = e.what();
        }
        workerLeft = true;
        return result;
    });
    ASSERT_TRUE(waitUntil([&] { return host->pendingCalls() == 1; }));
    host->shutdown();
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), "Shutting down");
    EXPECT_FALSE(ranAfterWorkerLeft);
}

// The main thread has taken the worker's call and is held before it begins
// it; meanwhile the host shuts down and the worker gives up. The call must
// not run afterwards: what it refers to may have gone with the worker.
TEST_F(CrossThreadCalls, ACallTakenButNotBegunWhenItsWorkerGivesUpNeverRuns) {
    std::atomic<bool> ran(false);
    std::atomic<bool> workerLeft(false);
    bool taken = false;
    const WhenABlockingCallIsTaken hold([&] {
        taken = true;
        host->shutdown();
        EXPECT_TRUE(waitUntil([&] { return workerLeft.load(); })) << "the worker did not give up";
    });
    std::future<std::string> outcome = std::async(std::launch::async, [&] {
        std::string result = "returned";
        try {
            host->CallOnMainThread([&ran] { ran = true; });
        } catch (const FB::script_error& e) {
            result = e.what();
        }
        workerLeft = true;
        return result;
    });
    if (!waitUntil([&] { return host->pendingCalls() == 1; })) {
        host->shutdown();
        FAIL() << "the worker's call was not scheduled";
    }
    host->pumpMainThread();
    EXPECT_TRUE(taken);
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), "Shutting down");
    EXPECT_FALSE(ran);
}

// The shutdown comes while the worker's call is running on the main thread
// and writing into the worker's stack: the worker must not leave before the
// call ends.
TEST_F(CrossThreadCalls, AWorkerWhoseCallIsRunningWaitsForItThroughTheShutdown) {
    std::atomic<bool> workerLeft(false);
    std::atomic<bool> leftWhileRunning(false);
    std::future<std::string> outcome = std::async(std::launch::async, [&] {
        std::vector<std::string> names;
        std::string result;
        try {
            host->CallOnMainThread([&] {
                host->shutdown();
                // Long enough for a worker that does not wait to leave.
                waitUntil([&] { return workerLeft.load(); }, std::chrono::milliseconds(200));
                leftWhileRunning = workerLeft.load();
                names.assign(3, "written");
            });
        } catch (const FB::script_error& e) {
            result = e.what();
        }
        result += " " + std::to_string(names.size());
        workerLeft = true;
        return result;
    });
    ASSERT_TRUE(pumpUntil(*host, [&] {
        return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    EXPECT_EQ(outcome.get(), "Shutting down 3");
    EXPECT_FALSE(leftWhileRunning);
}

TEST_F(CrossThreadCalls, AQueuedCallRunsOnceOnTheMainThreadAndThenReleasesItsObject) {
    const FB::JSAPIPtr obj = boost::make_shared<StubScriptObject>();
    std::vector<std::thread::id> ranOn;
    std::thread worker([&] {
        host->ScheduleOnMainThread(obj, [&ranOn] { ranOn.push_back(std::this_thread::get_id()); });
    });
    worker.join();
    EXPECT_TRUE(ranOn.empty());
    EXPECT_EQ(obj.use_count(), 2) << "the waiting call holds the object";

    EXPECT_EQ(host->pumpMainThread(), 1u);
    ASSERT_EQ(ranOn.size(), 1u);
    EXPECT_EQ(ranOn[0], std::this_thread::get_id());
    EXPECT_EQ(obj.use_count(), 1);
    EXPECT_EQ(host->pumpMainThread(), 0u);
}

TEST_F(CrossThreadCalls, EveryFailureOfAQueuedCallEndsOnTheMainThread) {
    const FB::JSAPIPtr obj = boost::make_shared<StubScriptObject>();
    const std::vector<std::function<void()>> failures = {
        [] { throw FB::script_error("failed"); },
        [] { throw FB::invalid_member("gone"); },
        [] { variant(std::string("text")).convert_cast<FB::VariantList>(); },
        [] { throw std::runtime_error("broken"); },
        [] { throw 42; },
    };
    for (const auto& failure : failures) {
        host->ScheduleOnMainThread(obj, failure);
    }
    EXPECT_EQ(host->pendingCalls(), failures.size());
    EXPECT_NO_THROW(host->pumpMainThread());
    EXPECT_EQ(obj.use_count(), 1);
}

TEST_F(CrossThreadCalls, AQueuedCallThatCannotBeScheduledIsDroppedUnrun) {
    const FB::JSAPIPtr obj = boost::make_shared<StubScriptObject>();
    bool ran = false;
    host->refusesScheduling = true;
    host->ScheduleOnMainThread(obj, [&ran] { ran = true; });
    host->refusesScheduling = false;
    host->shutdown();
    host->ScheduleOnMainThread(obj, [&ran] { ran = true; });

    EXPECT_EQ(host->pendingCalls(), 0u);
    host->pumpMainThread();
    EXPECT_FALSE(ran);
    EXPECT_EQ(obj.use_count(), 1);
}

// Workers make blocking and queued calls while the main thread pumps, and
// the host shuts down in the middle. Every blocking call either returns its
// own result or hears that the host is going; no call runs after its caller
// has left, and every queued call runs at most once.
TEST(CrossThreadStress, CallsFromManyWorkersWhileTheHostShutsDown) {
    const int workers = 6;
    const int callsPerWorker = 300;
    const auto host = boost::make_shared<FakeBrowserHost>();
    const FB::JSAPIPtr obj = boost::make_shared<StubScriptObject>();
    std::atomic<int> returned(0);
    std::atomic<int> refused(0);
    std::atomic<int> ranAfterCallerLeft(0);
    std::atomic<int> queuedRuns(0);
    std::atomic<int> wrongResults(0);

    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < callsPerWorker; ++i) {
                std::atomic<bool> callerLeft(false);
                const int expected = w * callsPerWorker + i;
                try {
                    const int result = host->CallOnMainThread([&, expected] {
                        if (callerLeft) {
                            ++ranAfterCallerLeft;
                        }
                        return expected;
                    });
                    if (result != expected) {
                        ++wrongResults;
                    }
                    ++returned;
                } catch (const FB::script_error&) {
                    ++refused;
                }
                callerLeft = true;
                host->ScheduleOnMainThread(obj, [&queuedRuns] { ++queuedRuns; });
            }
        });
    }
    const int shutdownAfter = workers * callsPerWorker / 2;
    EXPECT_TRUE(pumpUntil(*host, [&] { return returned + refused >= shutdownAfter; }));
    host->shutdown();
    for (std::thread& thread : threads) {
        thread.join();
    }
    host->pumpMainThread();

    EXPECT_EQ(returned + refused, workers * callsPerWorker);
    EXPECT_GE(returned, shutdownAfter - workers);
    EXPECT_EQ(wrongResults, 0);
    EXPECT_EQ(ranAfterCallerLeft, 0);
    EXPECT_LE(queuedRuns, workers * callsPerWorker);
    EXPECT_EQ(obj.use_count(), 1) << "every queued call was freed";
}

} // namespace
