#include "BrowserHost.h"
#include "FakeBrowserHost.h"
#include "JSExceptions.h"
#include "TestObjects.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using FB::variant;

class BrowserHostTest : public ::testing::Test {
protected:
    void TearDown() override { host->shutdown(); }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    FB::JSAPIPtr obj = boost::make_shared<StubScriptObject>();
};

TEST_F(BrowserHostTest, ScheduledCallRunsOnceOnTheMainThreadAndThenReleasesItsObject) {
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

TEST_F(BrowserHostTest, ScriptFailuresOfAScheduledCallAreSwallowed) {
    const std::vector<std::function<void()>> failures = {
        [] { throw FB::script_error("failed"); },
        [] { throw FB::invalid_member("gone"); },
        [] { variant(std::string("text")).convert_cast<FB::VariantList>(); },
    };
    for (const auto& failure : failures) {
        host->ScheduleOnMainThread(obj, failure);
    }
    EXPECT_NO_THROW(host->pumpMainThread());
    EXPECT_EQ(obj.use_count(), 1);
}

TEST_F(BrowserHostTest, OtherFailuresOfAScheduledCallPassButTheCallIsStillFreed) {
    host->ScheduleOnMainThread(obj, [] { throw std::runtime_error("broken"); });
    EXPECT_THROW(host->pumpMainThread(), std::runtime_error);
    EXPECT_EQ(obj.use_count(), 1);
}

TEST_F(BrowserHostTest, CallsThatCannotBeScheduledAreDroppedUnrun) {
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

// Records the order in which objects are told to shut down.
class ShutdownRecorder : public StubMembers<FB::JSAPI> {
public:
    ShutdownRecorder(std::string name, std::vector<std::string>& log)
        : m_name(std::move(name)), m_log(log) {}
    void shutdown() override { m_log.push_back(m_name); }

private:
    std::string m_name;
    std::vector<std::string>& m_log;
};

TEST_F(BrowserHostTest, ShutdownTellsEveryRetainedEntryInOrderThenReleasesThem) {
    std::vector<std::string> told;
    const auto first = boost::make_shared<ShutdownRecorder>("first", told);
    const auto second = boost::make_shared<ShutdownRecorder>("second", told);
    host->retainJSAPIPtr(first);
    host->retainJSAPIPtr(second);
    host->retainJSAPIPtr(FB::JSAPIPtr());
    host->retainJSAPIPtr(first);
    EXPECT_EQ(first.use_count(), 3);

    host->shutdown();
    EXPECT_EQ(told, (std::vector<std::string>{"first", "second", "first"}));
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_EQ(second.use_count(), 1);

    host->shutdown();
    EXPECT_EQ(told.size(), 3u) << "a second shutdown has nobody left to tell";
}

// Hands one last call to the main thread when it is destroyed.
class LastCallOnRelease : public StubMembers<FB::JSAPI> {
public:
    LastCallOnRelease(const FakeBrowserHost& host, bool& ran) : m_host(host), m_ran(ran) {}
    ~LastCallOnRelease() override {
        bool& ran = m_ran;
        m_host.ScheduleOnMainThread(boost::make_shared<StubScriptObject>(), [&ran] { ran = true; });
    }

private:
    const FakeBrowserHost& m_host;
    bool& m_ran;
};

TEST_F(BrowserHostTest, RetainedObjectsAreReleasedBeforeTheHostCountsAsShutDown) {
    bool ran = false;
    host->retainJSAPIPtr(boost::make_shared<LastCallOnRelease>(*host, ran));
    host->shutdown();
    EXPECT_TRUE(ran) << "the released object's last call was dropped";
}

TEST_F(BrowserHostTest, DelayedInvokeCallsThePageHelperWithThreeOrFourArguments) {
    const auto func = boost::make_shared<FakePageObject>(host);
    const FB::VariantList args = FB::variant_list_of(1)("two");

    EXPECT_EQ(host->delayedInvoke(250, func, args, ""), 101);
    EXPECT_EQ(host->delayedInvoke(0, func, args, "update"), 102);

    ASSERT_EQ(host->helperCalls.size(), 2u);
    const FB::VariantList& functionCall = host->helperCalls[0];
    ASSERT_EQ(functionCall.size(), 3u);
    EXPECT_EQ(functionCall[0].cast<int>(), 250);
    EXPECT_EQ(functionCall[1].cast<FB::JSObjectPtr>(), func);
    EXPECT_EQ(functionCall[2].cast<FB::VariantList>().size(), 2u);
    const FB::VariantList& methodCall = host->helperCalls[1];
    ASSERT_EQ(methodCall.size(), 4u);
    EXPECT_EQ(methodCall[3].cast<std::string>(), "update");
}

// A host whose page helper answers with what the test gives it.
class AnsweringHelperHost : public FakeBrowserHost {
public:
    std::function<variant()> answer;

    FB::JSObjectPtr getDelayedInvokeDelegate() override {
        const auto helper = boost::make_shared<FakePageObject>(shared_from_this());
        helper->methods[""] = [this](const FB::VariantList&) { return answer(); };
        return helper;
    }
};

TEST(DelayedInvoke, ReturnsTheHelpersAnswerAsAnIntAndPassesItsFailuresOn) {
    const auto host = boost::make_shared<AnsweringHelperHost>();
    const auto func = boost::make_shared<FakePageObject>(host);
    const auto invoke = [&] { return host->delayedInvoke(0, func, FB::VariantList(), ""); };

    host->answer = [] { return variant(12.0); };
    EXPECT_EQ(invoke(), 12);
    host->answer = [] { return variant("34"); };
    EXPECT_EQ(invoke(), 34);
    host->answer = [] { return variant("soon"); };
    EXPECT_THROW(invoke(), FB::bad_variant_cast);
    host->answer = []() -> variant { throw FB::invalid_member("setTimeout"); };
    EXPECT_THROW(invoke(), FB::invalid_member);
}

TEST_F(BrowserHostTest, DelayedInvokeWithoutAPageHelperReturnsMinusOne) {
    host->hasPageHelper = false;
    const auto func = boost::make_shared<FakePageObject>(host);
    EXPECT_EQ(host->delayedInvoke(0, func, FB::VariantList(), ""), -1);
    EXPECT_TRUE(host->pageTimers.empty());
}

} // namespace
