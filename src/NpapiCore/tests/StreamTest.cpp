// Streams the host opens through the browser, and what the plug-in does on
// a stream: reading ranges, writing, closing.

#include "BrowserStreamRequest.h"
#include "NpapiStream.h"
#include "NpapiTestSupport.h"
#include "TestSinks.h"

#include <boost/make_shared.hpp>

using namespace npapitest;
using FB::Npapi::NpapiStream;

namespace {

class Streams : public BrowserFixture {
protected:
    // A request's stream, let go as the browser would let it go.
    boost::shared_ptr<NpapiStream> open(const FB::BrowserStreamRequest& req) {
        return boost::dynamic_pointer_cast<NpapiStream>(host->createStream(req, false));
    }

    FB::BrowserStreamRequest request(const std::string& method) {
        FB::BrowserStreamRequest req("http://example.com/data?x=1", method, true);
        req.setEventSink(sink);
        return req;
    }

    static void finish(NpapiStream& stream) {
        stream.setDestroyed();
        stream.setNotified();
    }

    boost::shared_ptr<RecordingSink> sink = boost::make_shared<RecordingSink>();
};

TEST_F(Streams, AGetIsRequestedWithTheStreamAsNotifyData) {
    FB::BrowserStreamRequest req = request("GET");
    req.setCacheable(true);
    req.setSeekable(true);
    req.setBufferSize(4096);
    const auto stream = open(req);
    ASSERT_TRUE(stream);
    ASSERT_EQ(browser.records().urlRequests.size(), 1u);
    const testbrowser::UrlRequest& sent = browser.records().urlRequests[0];
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.url, "http://example.com/data?x=1");
    EXPECT_FALSE(sent.hasTarget);
    EXPECT_TRUE(sent.notify);
    EXPECT_EQ(sent.notifyData, stream.get());
    EXPECT_TRUE(stream->isCached());
    EXPECT_TRUE(stream->isSeekableRequested());
    EXPECT_EQ(stream->getInternalBufferSize(), 4096u);
    EXPECT_EQ(sink->events(), (std::vector<std::string>{"attached", "created"}));
    EXPECT_EQ(stream->getHost(), host);
    finish(*stream);
}

// The stream holds itself until the browser has destroyed it and notified.
TEST_F(Streams, ARequestedStreamLivesUntilTheBrowserIsDoneWithIt) {
    auto stream = open(request("GET"));
    boost::weak_ptr<NpapiStream> watch = stream;
    stream.reset();
    host->shutdown();
    EXPECT_FALSE(watch.expired());
    watch.lock()->setNotified();
    EXPECT_FALSE(watch.expired());
    watch.lock()->setDestroyed();
    EXPECT_TRUE(watch.expired());
}

TEST_F(Streams, APostSendsAFormUnlessTheRequestHasHeaders) {
    FB::BrowserStreamRequest form = request("POST");
    form.setPostData("a=1", "");
    const auto formStream = open(form);
    FB::BrowserStreamRequest own = request("get");
    own.setPostData("abc", "Content-type: text/plain");
    const auto ownStream = open(own);
    ASSERT_EQ(browser.records().urlRequests.size(), 2u);
    const testbrowser::UrlRequest& first = browser.records().urlRequests[0];
    EXPECT_EQ(first.method, "POST");
    EXPECT_EQ(first.body, "Content-type: application/x-www-form-urlencoded\n"
                          "Content-Length: 3\n\na=1");
    EXPECT_FALSE(first.bodyIsFile);
    EXPECT_EQ(first.notifyData, formStream.get());
    const testbrowser::UrlRequest& second = browser.records().urlRequests[1];
    EXPECT_EQ(second.method, "POST") << "only GET in capitals is a GET";
    EXPECT_EQ(second.body, "Content-type: text/plain\n\nabc");
    finish(*formStream);
    finish(*ownStream);
}

class RefusingBrowser : public BrowserFixture {
protected:
    static testbrowser::BrowserOptions refusing() {
        testbrowser::BrowserOptions options;
        options.urlRequestResult = NPERR_GENERIC_ERROR;
        return options;
    }
    RefusingBrowser() : BrowserFixture(refusing()) {}
};

TEST_F(RefusingBrowser, ARefusedRequestGivesNoStream) {
    const auto sink = boost::make_shared<RecordingSink>();
    FB::BrowserStreamRequest req("http://example.com/", "GET", true);
    req.setEventSink(sink);
    EXPECT_FALSE(host->createStream(req, false));
    EXPECT_EQ(sink->events(), (std::vector<std::string>{"attached", "destroyed"}));
}

TEST_F(Streams, AnUnsolicitedStreamNeedsOnlyTheBrowsersDestruction) {
    FB::BrowserStreamRequest req("http://example.com/pushed", "GET", false);
    req.setSeekable(true);
    auto stream = boost::dynamic_pointer_cast<NpapiStream>(host->createUnsolicitedStream(req));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(browser.records().urlRequests.empty());
    EXPECT_EQ(stream->getUrl(), "http://example.com/pushed");
    EXPECT_FALSE(stream->isCached());
    EXPECT_TRUE(stream->isSeekableRequested());
    boost::weak_ptr<NpapiStream> watch = stream;
    stream.reset();
    host->shutdown();
    ASSERT_FALSE(watch.expired());
    watch.lock()->setDestroyed();
    EXPECT_TRUE(watch.expired());
}

// --- On an open stream --------------------------------------------------------

class OpenStream : public Streams {
protected:
    void SetUp() override {
        Streams::SetUp();
        FB::BrowserStreamRequest req = request("GET");
        req.setSeekable(true);
        // Not kept by the host's stream manager, which would end it at shutdown.
        stream = boost::dynamic_pointer_cast<NpapiStream>(host->_createStream(req));
        stream->setStream(&npStream);
        stream->setSeekableByServer(true);
        stream->setOpen(true);
        sink->offers.clear();
    }
    void TearDown() override {
        finish(*stream);
        stream.reset();
        Streams::TearDown();
    }

    NPStream npStream{};
    boost::shared_ptr<NpapiStream> stream;
};

TEST_F(OpenStream, RangesAreReadInOneChain) {
    EXPECT_TRUE(stream->readRanges({}));
    EXPECT_TRUE(browser.records().readRequests.empty());
    EXPECT_TRUE(stream->readRanges({{0, 100}, {200, 250}}));
    ASSERT_EQ(browser.records().readRequests.size(), 1u);
    const testbrowser::ReadRequest& sent = browser.records().readRequests[0];
    EXPECT_EQ(sent.stream, &npStream);
    ASSERT_EQ(sent.ranges.size(), 2u);
    EXPECT_EQ(sent.ranges[0].offset, 0);
    EXPECT_EQ(sent.ranges[0].length, 100u);
    EXPECT_EQ(sent.ranges[1].offset, 200);
    EXPECT_EQ(sent.ranges[1].length, 50u);
    EXPECT_TRUE(stream->readRange(7, 9));
}

TEST_F(OpenStream, ARangeThatCannotBeTheBrowsersIsRefused) {
    EXPECT_FALSE(stream->readRanges({{10, 5}}));
    EXPECT_FALSE(stream->readRanges({{0, 10}, {std::size_t(1) << 40, (std::size_t(1) << 40) + 1}}));
    EXPECT_TRUE(browser.records().readRequests.empty());
    stream->setSeekableByServer(false);
    EXPECT_FALSE(stream->readRange(0, 10));
    EXPECT_TRUE(browser.records().readRequests.empty());
}

TEST_F(OpenStream, AWriteTheBrowserDoesNotTakeWhollyFails) {
    std::size_t written = 0;
    EXPECT_FALSE(stream->write("0123456789", 10, written));
    EXPECT_EQ(written, static_cast<std::size_t>(-1))
        << "the browser's answer, widened with its sign";
}

TEST_F(OpenStream, ClosingReportsTheEndAndAsksTheBrowserToDestroyTheStream) {
    EXPECT_TRUE(stream->close());
    EXPECT_EQ(sink->events(), std::vector<std::string>{"completed"});
    EXPECT_FALSE(stream->isOpen());
    EXPECT_EQ(stream->getStream(), nullptr);
    ASSERT_EQ(browser.records().streamsDestroyedByPlugin.size(), 1u);
    EXPECT_EQ(browser.records().streamsDestroyedByPlugin[0],
              std::make_pair(&npStream, NPReason(NPRES_USER_BREAK)));
    EXPECT_FALSE(stream->close());
    std::size_t written = 0;
    EXPECT_FALSE(stream->write("x", 1, written));
    EXPECT_FALSE(stream->readRange(0, 1));
}

TEST_F(OpenStream, OnceTheHostIsGoneTheBrowserIsNotCalled) {
    dropHost(host, npp);
    std::size_t written = 0;
    EXPECT_FALSE(stream->readRange(0, 1));
    EXPECT_FALSE(stream->write("x", 1, written));
    EXPECT_FALSE(stream->close());
    EXPECT_TRUE(browser.records().readRequests.empty());
    EXPECT_TRUE(browser.records().streamsDestroyedByPlugin.empty());
}

} // namespace
