#include "BrowserHost.h"
#include "BrowserStreamRequest.h"
#include "FakeBrowserHost.h"
#include "JSExceptions.h"
#include "SimpleStreamHelper.h"
#include "TestObjects.h"

#include <atomic>
#include <boost/make_shared.hpp>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

class BrowserHostTest : public ::testing::Test {
protected:
    void TearDown() override { host->shutdown(); }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
};

TEST_F(BrowserHostTest, KnowsItsMainThreadAndCountsLiveHosts) {
    EXPECT_TRUE(host->isMainThread());
    bool onWorker = true;
    std::thread worker([&] { onWorker = host->isMainThread(); });
    worker.join();
    EXPECT_FALSE(onWorker);

    const int before = FB::BrowserHost::getInstanceCount();
    {
        const auto second = boost::make_shared<FakeBrowserHost>();
        EXPECT_EQ(FB::BrowserHost::getInstanceCount(), before + 1);
        second->shutdown();
        EXPECT_EQ(FB::BrowserHost::getInstanceCount(), before + 1) << "shut down, still alive";
    }
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), before);
}

TEST_F(BrowserHostTest, EachReleaseUndoesOneRetain) {
    const FB::JSAPIPtr obj = boost::make_shared<StubScriptObject>();
    host->retainJSAPIPtr(obj);
    host->retainJSAPIPtr(obj);
    host->releaseJSAPIPtr(obj);
    EXPECT_EQ(obj.use_count(), 2);
    host->releaseJSAPIPtr(obj);
    EXPECT_EQ(obj.use_count(), 1);
    EXPECT_EQ(host->deferredReleaseRuns, 2);
}

TEST_F(BrowserHostTest, ReleasingAnUnknownObjectOnlyRunsTheDeferredReleasesOnTheMainThread) {
    const FB::JSAPIPtr kept = boost::make_shared<StubScriptObject>();
    host->retainJSAPIPtr(kept);
    const FB::JSAPIPtr stranger = boost::make_shared<StubScriptObject>();

    std::thread worker([&] { host->releaseJSAPIPtr(stranger); });
    worker.join();
    EXPECT_EQ(host->deferredReleaseRuns, 0);
    host->releaseJSAPIPtr(stranger);
    EXPECT_EQ(host->deferredReleaseRuns, 1);
    EXPECT_EQ(kept.use_count(), 2);
}

// Records the order in which objects are told to shut down, and can fail
// or retain another object while being told.
class ShutdownRecorder : public StubMembers<FB::JSAPI> {
public:
    ShutdownRecorder(std::string name, std::vector<std::string>& log)
        : m_name(std::move(name)), m_log(log) {}
    void shutdown() override {
        m_log.push_back(m_name);
        if (onShutdown) {
            onShutdown();
        }
    }

    std::function<void()> onShutdown;

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
    EXPECT_TRUE(host->isShutDown());
    EXPECT_EQ(told, (std::vector<std::string>{"first", "second", "first"}));
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_EQ(second.use_count(), 1);
    EXPECT_GE(host->deferredReleaseRuns, 1);

    host->shutdown();
    EXPECT_EQ(told.size(), 3u) << "a second shutdown has nobody left to tell";
}

TEST_F(BrowserHostTest, OneObjectFailingToShutDownDoesNotStopTheShutdown) {
    std::vector<std::string> told;
    const auto failing = boost::make_shared<ShutdownRecorder>("failing", told);
    failing->onShutdown = [] { throw FB::script_error("busy"); };
    const auto other = boost::make_shared<ShutdownRecorder>("other", told);
    host->retainJSAPIPtr(failing);
    host->retainJSAPIPtr(other);

    EXPECT_NO_THROW(host->shutdown());
    EXPECT_EQ(told, (std::vector<std::string>{"failing", "other"}));
    EXPECT_TRUE(host->isShutDown());
    EXPECT_EQ(failing.use_count(), 1);
}

// The list is taken out before the objects are told, so one may change it.
TEST_F(BrowserHostTest, AnObjectMayRetainAndReleaseWhileBeingToldToShutDown) {
    std::vector<std::string> told;
    const auto late = boost::make_shared<ShutdownRecorder>("late", told);
    const auto first = boost::make_shared<ShutdownRecorder>("first", told);
    const auto second = boost::make_shared<ShutdownRecorder>("second", told);
    first->onShutdown = [&] {
        host->releaseJSAPIPtr(second);
        host->retainJSAPIPtr(late);
    };
    host->retainJSAPIPtr(first);
    host->retainJSAPIPtr(second);

    host->shutdown();
    EXPECT_EQ(told, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(late.use_count(), 1) << "retained during the shutdown, released by it";
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

TEST_F(BrowserHostTest, WideScriptReachesThePageAsUtf8) {
    host->evaluateJavaScript(std::wstring(L"alert('\u00e9\u20ac')"));
    ASSERT_EQ(host->evaluatedScripts.size(), 1u);
    EXPECT_EQ(host->evaluatedScripts[0], "alert('\xc3\xa9\xe2\x82\xac')");
}

class StreamCreation : public BrowserHostTest {
protected:
    static void ignoreCompletion(bool, const FB::HeaderMap&,
                                 const boost::shared_array<std::uint8_t>&, std::size_t) {}

    FB::BrowserStreamRequest request{"http://example.test/data", "GET", true};
};

TEST_F(StreamCreation, ARequestStreamIsOpenedByTheBindingAndKeptUntilShutdown) {
    const FB::BrowserStreamPtr stream = host->createStream(request, false);
    ASSERT_TRUE(stream);
    ASSERT_EQ(host->streamRequests.size(), 1u);
    EXPECT_EQ(host->streamRequests[0].uri.toString(true), "http://example.test/data");
    EXPECT_EQ(stream.use_count(), 2) << "the stream manager holds it";

    host->shutdown();
    EXPECT_EQ(stream.use_count(), 1);
    EXPECT_EQ(boost::static_pointer_cast<FakeStream>(stream)->closed, 1);
}

TEST_F(StreamCreation, ARefusedStreamIsEmptyAndNothingIsKept) {
    host->refusesStreams = true;
    EXPECT_FALSE(host->createStream(request, false));
    EXPECT_FALSE(host->createStream(request, true));
    EXPECT_EQ(host->streamRequests.size(), 2u);
}

// The HTTP helper follows the stream and calls back with the whole body: a
// request that skipped it would never call back.
TEST_F(StreamCreation, ACallbackRequestGoesThroughTheHttpHelperToTheBinding) {
    std::string body;
    int calls = 0;
    request.setCallback([&](bool success, const FB::HeaderMap&,
                            const boost::shared_array<std::uint8_t>& data, std::size_t size) {
        ++calls;
        if (success) {
            body.assign(reinterpret_cast<const char*>(data.get()), size);
        }
    });
    const FB::BrowserStreamPtr stream = host->createStream(request, true);
    ASSERT_TRUE(stream);
    ASSERT_EQ(host->streamRequests.size(), 1u);
    const auto fake = FB::ptr_cast<FakeStream>(stream);
    ASSERT_TRUE(fake);
    fake->open();
    fake->deliver("signed", 0);
    fake->complete(true);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(body, "signed");
}

TEST_F(StreamCreation, TheUrlFrontEndsBuildGetAndPostRequests) {
    host->createStream("http://example.test/get", FB::PluginEventSinkPtr(), true, true, 4096);
    host->createPostStream("http://example.test/post", FB::PluginEventSinkPtr(), "a=1&b=2", false,
                           false, 512);

    ASSERT_EQ(host->streamRequests.size(), 2u);
    const FB::BrowserStreamRequest& get = host->streamRequests[0];
    EXPECT_EQ(get.method, "GET");
    EXPECT_EQ(get.uri.toString(true), "http://example.test/get");
    EXPECT_TRUE(get.cache);
    EXPECT_TRUE(get.seekable);
    EXPECT_EQ(get.bufferSize, 4096u);
    EXPECT_TRUE(get.wasAccepted());
    EXPECT_TRUE(get.getPostData().empty());

    const FB::BrowserStreamRequest& post = host->streamRequests[1];
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.getPostData(), "a=1&b=2");
    EXPECT_EQ(post.getPostHeaders(), "");
    EXPECT_FALSE(post.cache);
    EXPECT_FALSE(post.seekable);
    EXPECT_EQ(post.bufferSize, 512u);
}

TEST_F(StreamCreation, AStreamTheBrowserOpenedIsKept) {
    const FB::BrowserStreamPtr stream = host->createUnsolicitedStream(request);
    ASSERT_TRUE(stream);
    EXPECT_EQ(host->unsolicitedRequests.size(), 1u);
    EXPECT_EQ(stream.use_count(), 2);
}

TEST_F(StreamCreation, NoStreamIsOpenedAfterShutdown) {
    host->shutdown();
    EXPECT_FALSE(host->createStream(request, false));
    EXPECT_FALSE(
        host->createStream("http://example.test/get", FB::PluginEventSinkPtr(), true, false, 4096));
    EXPECT_FALSE(host->createUnsolicitedStream(request));
    request.setCallback(&ignoreCompletion);
    EXPECT_FALSE(host->createStream(request, true));
    EXPECT_TRUE(host->streamRequests.empty());
    EXPECT_TRUE(host->unsolicitedRequests.empty());
}

// A callback request after shutdown is told of its failure at once, as one
// that goes to the HTTP helper itself is, and only once.
TEST_F(StreamCreation, ACallbackRequestAfterShutdownCallsBackOnceWithTheFailure) {
    std::vector<std::string> outcomes;
    request.setCallback([&](bool success, const FB::HeaderMap& headers,
                            const boost::shared_array<std::uint8_t>& data, std::size_t size) {
        outcomes.push_back(std::string(success ? "success" : "failure") + " " +
                           std::to_string(headers.size()) + " " + (data ? "body" : "no body") +
                           " " + std::to_string(size));
    });
    host->shutdown();
    EXPECT_FALSE(host->createStream(request, true));
    EXPECT_EQ(outcomes, std::vector<std::string>{"failure 0 no body 0"});

    host->pumpMainThread();
    host->shutdown();
    EXPECT_EQ(outcomes.size(), 1u) << "nothing left to call back again";
    EXPECT_TRUE(host->streamRequests.empty());

    EXPECT_FALSE(FB::SimpleStreamHelper::AsyncRequest(host, request)->getStream());
    EXPECT_EQ(outcomes.size(), 2u) << "the helper itself calls back once as well";
}

} // namespace
