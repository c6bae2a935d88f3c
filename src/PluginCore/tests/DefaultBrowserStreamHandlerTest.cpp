#include "DefaultBrowserStreamHandler.h"
#include "FakeBrowserHost.h"
#include "PluginEvents/MouseEvents.h"
#include "TestSinks.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// Records which of its handlers ran; the base behaviour runs as well.
class RecordingHandler : public FB::DefaultBrowserStreamHandler {
public:
    bool onStreamAttached(FB::AttachedEvent* evt, FB::BrowserStream* stream) override {
        calls.push_back("attached");
        return DefaultBrowserStreamHandler::onStreamAttached(evt, stream);
    }
    bool onStreamDetached(FB::DetachedEvent* evt, FB::BrowserStream* stream) override {
        calls.push_back("detached");
        return DefaultBrowserStreamHandler::onStreamDetached(evt, stream);
    }
    bool onStreamCreated(FB::StreamCreatedEvent*, FB::BrowserStream*) override {
        calls.push_back("created");
        return false;
    }
    bool onStreamDestroyed(FB::StreamDestroyedEvent* evt, FB::BrowserStream* stream) override {
        calls.push_back("destroyed");
        return DefaultBrowserStreamHandler::onStreamDestroyed(evt, stream);
    }
    bool onStreamDataArrived(FB::StreamDataArrivedEvent*, FB::BrowserStream*) override {
        calls.push_back("data");
        return false;
    }
    bool onStreamFailedOpen(FB::StreamFailedOpenEvent*, FB::BrowserStream*) override {
        calls.push_back("failed open");
        return false;
    }
    bool onStreamOpened(FB::StreamOpenedEvent*, FB::BrowserStream*) override {
        calls.push_back("opened");
        return false;
    }
    bool onStreamCompleted(FB::StreamCompletedEvent*, FB::BrowserStream*) override {
        calls.push_back("completed");
        return handlesCompletion;
    }

    bool handlesCompletion = false;
    std::vector<std::string> calls;
};

class DefaultBrowserStreamHandlerTest : public ::testing::Test {
protected:
    void TearDown() override { host->shutdown(); }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    boost::shared_ptr<RecordingHandler> handler = boost::make_shared<RecordingHandler>();
};

TEST_F(DefaultBrowserStreamHandlerTest, FollowsAStreamThroughItsWholeLife) {
    const FB::BrowserStreamPtr opened =
        host->createStream("http://example.test/file", handler, false, false, 64);
    ASSERT_TRUE(opened);
    EXPECT_EQ(handler->getStream(), opened) << "attached by the binding";
    const auto stream = boost::static_pointer_cast<FakeStream>(opened);
    stream->open();
    stream->deliver("abc", 0);
    stream->complete(true);
    stream->DetachObserver(handler);
    EXPECT_FALSE(handler->getStream());
    EXPECT_EQ(handler->calls, (std::vector<std::string>{"attached", "created", "opened", "data",
                                                        "completed", "detached"}));
}

TEST_F(DefaultBrowserStreamHandlerTest, KeepsItsStreamAliveUntilTheStreamLetsGo) {
    auto stream = boost::make_shared<FakeStream>("http://example.test/", false, false, 64);
    stream->AttachObserver(handler);
    const boost::weak_ptr<FakeStream> watched = stream;
    stream.reset();
    EXPECT_FALSE(watched.expired());
    handler->clearStream();
    EXPECT_TRUE(watched.expired());
}

TEST_F(DefaultBrowserStreamHandlerTest, CancelClosesTheStreamItHolds) {
    EXPECT_FALSE(handler->cancel()) << "no stream yet";
    const auto stream = boost::make_shared<FakeStream>("http://example.test/", false, false, 64);
    stream->AttachObserver(handler);
    stream->open();
    EXPECT_TRUE(handler->cancel());
    EXPECT_EQ(stream->closed, 1);
    EXPECT_EQ(handler->getStream(), stream) << "kept until the stream lets go";
    EXPECT_EQ(handler->calls.back(), "completed");
}

TEST_F(DefaultBrowserStreamHandlerTest, EventsFromAWindowAreNotItsBusiness) {
    const auto window = boost::make_shared<TestWindow>();
    window->AttachObserver(handler);
    FB::MouseDownEvent down(FB::MouseButtonEvent::MouseButton_Left, 0, 0, 0);
    EXPECT_FALSE(window->SendEvent(&down));
    EXPECT_TRUE(handler->calls.empty());
    EXPECT_FALSE(handler->getStream());
}

TEST_F(DefaultBrowserStreamHandlerTest, AHandledCompletionStopsTheLaterObservers) {
    const auto stream = boost::make_shared<FakeStream>("http://example.test/", false, false, 64);
    const auto later = boost::make_shared<RecordingSink>();
    stream->AttachObserver(handler);
    stream->AttachObserver(later);
    handler->handlesCompletion = true;
    stream->complete(true);
    EXPECT_EQ(later->events(), std::vector<std::string>{"attached"});
}

TEST_F(DefaultBrowserStreamHandlerTest, FollowsOneStreamAtATime) {
    const auto first = boost::make_shared<FakeStream>("http://example.test/1", false, false, 64);
    const auto second = boost::make_shared<FakeStream>("http://example.test/2", false, false, 64);
    handler->setStream(first);
    handler->setStream(first);
    try {
        handler->setStream(second);
        FAIL() << "a second stream was taken";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "false");
    }
    EXPECT_EQ(handler->getStream(), first);
    handler->setStream(FB::BrowserStreamPtr());
    handler->setStream(second);
    EXPECT_EQ(handler->getStream(), second);

    try {
        FB::AttachedEvent attached;
        handler->onStreamAttached(&attached, nullptr);
        FAIL() << "attached without a stream";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Stream != NULL");
    }
}

} // namespace
