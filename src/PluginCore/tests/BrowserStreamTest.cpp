#include "BrowserStreamManager.h"
#include "BrowserStreamRequest.h"
#include "FakeBrowserHost.h"
#include "TestSinks.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

void ignoreCompletion(bool, const FB::HeaderMap&, const boost::shared_array<std::uint8_t>&,
                      std::size_t) {}

boost::shared_ptr<FakeStream> makeStream(const std::string& url = "http://example.test/") {
    return boost::make_shared<FakeStream>(url, false, false, 1024);
}

TEST(BrowserStreamRequest, ARequestStartsWithTheDefaults) {
    const FB::BrowserStreamRequest req("http://example.test/a", "GET", false);
    EXPECT_EQ(req.bufferSize, 0x20000u);
    EXPECT_FALSE(req.seekable);
    EXPECT_FALSE(req.cache);
    EXPECT_EQ(req.lastModified, 0u);
    EXPECT_FALSE(req.getEventSink());
    EXPECT_FALSE(req.getCallback());
    EXPECT_EQ(req.getPostData(), "");
    EXPECT_EQ(req.getPostHeaders(), "");
    EXPECT_TRUE(req.headers.empty());
    EXPECT_FALSE(req.wasAccepted());
}

TEST(BrowserStreamRequest, NamingAReceiverAcceptsTheStream) {
    FB::BrowserStreamRequest withSink("http://example.test/a", "GET", false);
    withSink.setEventSink(boost::make_shared<RecordingSink>());
    EXPECT_TRUE(withSink.wasAccepted());

    FB::BrowserStreamRequest withCallback(FB::URI::fromString("http://example.test/a"), "GET",
                                          false);
    withCallback.setCallback(&ignoreCompletion);
    EXPECT_TRUE(withCallback.wasAccepted());
}

TEST(BrowserStreamRequest, HeadersAreReplacedByEachRawText) {
    FB::BrowserStreamRequest req("http://example.test/a", "GET", false);
    req.setHeaders("A: 1\r\nB: 2\r\n");
    req.setHeaders("C: 3\r\n");
    EXPECT_EQ(req.headers, (FB::HeaderMap{{"C", "3"}}));
}

TEST(BrowserStream, KeepsWhatItIsToldAndSeeksOnlyWhenBothSidesAgree) {
    FakeStream stream("http://example.test/s", true, true, 512);
    EXPECT_TRUE(stream.isCached()) << "the cache flag comes first";
    EXPECT_TRUE(stream.isSeekableRequested());
    EXPECT_EQ(stream.getInternalBufferSize(), 512u);
    EXPECT_FALSE(stream.isSeekable());
    stream.setSeekableByServer(true);
    EXPECT_TRUE(stream.isSeekable());

    EXPECT_TRUE(stream.readRange(100, 200));
    ASSERT_EQ(stream.rangeReads.size(), 1u);
    ASSERT_EQ(stream.rangeReads[0].size(), 1u);
    EXPECT_EQ(stream.rangeReads[0][0].start, 100u);
    EXPECT_EQ(stream.rangeReads[0][0].end, 200u);
}

TEST(BrowserStream, ADyingStreamTellsItsObservers) {
    auto stream = makeStream();
    const auto observer = boost::make_shared<RecordingSink>();
    stream->AttachObserver(observer);
    EXPECT_EQ(stream->shared_from_this(), stream);
    FB::BrowserStream* const raw = stream.get();
    stream.reset();
    EXPECT_EQ(observer->events(), (std::vector<std::string>{"attached", "destroyed"}));
    EXPECT_EQ(observer->offers.back().source, raw);
}

class BrowserStreamManagerTest : public ::testing::Test {
protected:
    boost::shared_ptr<FB::BrowserStreamManager> manager =
        boost::make_shared<FB::BrowserStreamManager>();
};

TEST_F(BrowserStreamManagerTest, ACompletedStreamIsReleasedAndItsOtherObserversStillHearIt) {
    auto stream = makeStream();
    const auto observer = boost::make_shared<RecordingSink>();
    manager->retainStream(stream);
    manager->retainStream(stream);
    stream->AttachObserver(observer);
    const boost::weak_ptr<FakeStream> watched = stream;
    FakeStream* const raw = stream.get();
    stream.reset();
    ASSERT_FALSE(watched.expired()) << "the manager keeps it";

    raw->open();
    raw->complete(true);
    EXPECT_TRUE(watched.expired()) << "released once the completion went round";
    EXPECT_EQ(observer->events(),
              (std::vector<std::string>{"attached", "opened", "completed", "destroyed"}));
}

TEST_F(BrowserStreamManagerTest, AStreamRetainedTwiceIsObservedOnce) {
    const auto stream = makeStream();
    manager->retainStream(stream);
    manager->retainStream(stream);
    manager->releaseStream(stream);
    EXPECT_EQ(stream.use_count(), 1);
    const auto observer = boost::make_shared<RecordingSink>();
    stream->AttachObserver(observer);
    stream->complete(false);
    EXPECT_EQ(observer->events(), (std::vector<std::string>{"attached", "completed"}));
}

TEST_F(BrowserStreamManagerTest, ReleasingAStreamItDoesNotKeepChangesNothing) {
    const auto kept = makeStream("http://example.test/kept");
    const auto stranger = makeStream("http://example.test/stranger");
    manager->retainStream(kept);
    manager->releaseStream(stranger);
    manager->releaseStream(FB::BrowserStreamPtr());
    EXPECT_EQ(kept.use_count(), 2);
}

TEST_F(BrowserStreamManagerTest, TheStreamsStillKeptAreEndedWhenTheManagerGoes) {
    const auto opened = makeStream("http://example.test/1");
    const auto unopened = makeStream("http://example.test/2");
    const auto openedObserver = boost::make_shared<RecordingSink>();
    const auto unopenedObserver = boost::make_shared<RecordingSink>();
    manager->retainStream(opened);
    manager->retainStream(unopened);
    opened->AttachObserver(openedObserver);
    unopened->AttachObserver(unopenedObserver);
    opened->open();
    bool reportedSuccess = true;
    unopenedObserver->onEvent = [&](FB::PluginEvent* evt, FB::PluginEventSource*) {
        if (evt->validType<FB::StreamCompletedEvent>()) {
            reportedSuccess = evt->get<FB::StreamCompletedEvent>()->m_success;
        }
    };

    manager.reset();
    EXPECT_EQ(opened->closed, 1);
    EXPECT_EQ(unopened->closed, 1);
    EXPECT_EQ(opened.use_count(), 1);
    EXPECT_EQ(unopened.use_count(), 1);
    EXPECT_EQ(openedObserver->events(),
              (std::vector<std::string>{"attached", "opened", "completed"}))
        << "closing reported the end";
    EXPECT_EQ(unopenedObserver->events(), (std::vector<std::string>{"attached", "completed"}));
    EXPECT_FALSE(reportedSuccess);
}

} // namespace
