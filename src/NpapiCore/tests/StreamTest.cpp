// Streams the host opens through the browser, what the plug-in does on a
// stream (reading ranges, writing, closing), and what the browser's stream
// callbacks make of it (data, completion, the stream's life).

#include "BrowserStreamRequest.h"
#include "NpapiStream.h"
#include "NpapiTestSupport.h"
#include "TestPlugin.h"
#include "TestSinks.h"

#include <boost/make_shared.hpp>
#include <ostream>

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

    boost::shared_ptr<StreamRecorder> sink = boost::make_shared<StreamRecorder>();
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
    EXPECT_EQ(sink->events, (std::vector<std::string>{"attached", "created"}));
    EXPECT_EQ(stream->getHost(), host);
    finish(*stream);
}

// The stream holds itself until the browser has destroyed it and notified.
// (Not kept by the host's stream manager, which would hold it too.)
TEST_F(Streams, ARequestedStreamLivesUntilTheBrowserIsDoneWithIt) {
    auto stream = boost::dynamic_pointer_cast<NpapiStream>(host->_createStream(request("GET")));
    boost::weak_ptr<NpapiStream> watch = stream;
    stream.reset();
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
    auto stream = boost::dynamic_pointer_cast<NpapiStream>(host->_createUnsolicitedStream(req));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(browser.records().urlRequests.empty());
    EXPECT_EQ(stream->getUrl(), "http://example.com/pushed");
    EXPECT_FALSE(stream->isCached());
    EXPECT_TRUE(stream->isSeekableRequested());
    boost::weak_ptr<NpapiStream> watch = stream;
    stream.reset();
    ASSERT_FALSE(watch.expired());
    watch.lock()->setDestroyed();
    EXPECT_TRUE(watch.expired());
}

// The browser finishes no stream of a destroyed instance: at the host's
// shutdown a pending request and an open stream both report failure, let
// their NPStream go and let themselves go.
TEST_F(Streams, TheHostsShutdownLetsGoOfStreamsTheBrowserWillNotFinish) {
    boost::weak_ptr<NpapiStream> pending = open(request("GET"));
    const auto openSink = boost::make_shared<StreamRecorder>();
    FB::BrowserStreamRequest req("http://example.com/open", "GET", true);
    req.setEventSink(openSink);
    auto bound = boost::dynamic_pointer_cast<NpapiStream>(host->_createStream(req));
    NPStream npStream{};
    npStream.pdata = bound.get();
    bound->setStream(&npStream);
    bound->signalOpened();
    boost::weak_ptr<NpapiStream> boundWatch = bound;
    bound.reset();
    sink->events.clear();
    openSink->events.clear();
    host->shutdown();
    EXPECT_TRUE(pending.expired());
    EXPECT_TRUE(boundWatch.expired());
    EXPECT_EQ(npStream.pdata, nullptr);
    EXPECT_EQ(sink->events, (std::vector<std::string>{"completed:false", "destroyed"}));
    EXPECT_EQ(openSink->events, (std::vector<std::string>{"completed:false", "destroyed"}));
    EXPECT_TRUE(browser.records().streamsDestroyedByPlugin.empty()) << "the browser is not called";
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
        npStream.pdata = stream.get();
        stream->setStream(&npStream);
        stream->setSeekableByServer(true);
        stream->setOpen(true);
        sink->events.clear();
    }
    void TearDown() override {
        if (stream) {
            finish(*stream);
        }
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

// A stream closed before its end was cut short: it reports failure.
TEST_F(OpenStream, ClosingReportsACutStreamAndAsksTheBrowserToDestroyIt) {
    EXPECT_TRUE(stream->close());
    EXPECT_EQ(sink->events, std::vector<std::string>{"completed:false"});
    EXPECT_FALSE(stream->isOpen());
    EXPECT_EQ(stream->getStream(), nullptr);
    EXPECT_EQ(npStream.pdata, nullptr) << "a late NPP_DestroyStream finds nothing";
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

// Once both the browser's destruction and its notification are in, the
// stream lets itself go; a stream the plug-in closed counts as destroyed.
TEST_F(OpenStream, AStreamThePluginClosedGoesWithTheNotification) {
    boost::weak_ptr<NpapiStream> watch = stream;
    stream->close();
    stream.reset();
    ASSERT_FALSE(watch.expired());
    watch.lock()->setNotified();
    EXPECT_TRUE(watch.expired());
}

struct DataCase {
    const char* name;
    int len;
    int offset;
    std::size_t length; // announced by the browser; 0 when unknown
    bool open;
    int taken;
    std::string event; // "" when none is sent
    float progress;
};

void PrintTo(const DataCase& c, std::ostream* out) {
    *out << c.name;
}

class DataArriving : public OpenStream, public ::testing::WithParamInterface<DataCase> {};

TEST_P(DataArriving, AtMostTheBufferIsReportedWithTheProgressOfAllBytes) {
    const DataCase& c = GetParam();
    float progress = -1;
    const auto watcher = boost::make_shared<RecordingSink>();
    watcher->onEvent = [&](FB::PluginEvent* evt, FB::PluginEventSource*) {
        if (evt->validType<FB::StreamDataArrivedEvent>()) {
            progress = evt->get<FB::StreamDataArrivedEvent>()->m_progress;
        }
    };
    stream->AttachObserver(watcher);
    sink->events.clear();
    stream->setLength(c.length);
    stream->setOpen(c.open);
    std::vector<char> buffer(std::max(c.len, 1), 'x');
    EXPECT_EQ(stream->signalDataArrived(buffer.data(), c.len, c.offset), c.taken);
    EXPECT_EQ(sink->events,
              c.event.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.event});
    if (!c.event.empty()) {
        EXPECT_FLOAT_EQ(progress, c.progress);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataArriving,
    ::testing::Values(DataCase{"MoreThanTheBuffer", 300000, 0, 300000, true, 131072,
                               "data:0:131072", 100.0f},
                      DataCase{"AtAnOffset", 1000, 1000, 4000, true, 1000, "data:1000:1000", 50.0f},
                      DataCase{"LengthUnknown", 10, 0, 0, true, 10, "data:0:10", 0.0f},
                      DataCase{"Nothing", 0, 0, 100, true, 0, "", 0.0f},
                      DataCase{"PastTwoGigabytes", 131072, 2147483000, 4000000000u, true, 131072,
                               "data:2147483000:131072", 2147614072.0f / 4000000000.0f * 100.0f},
                      DataCase{"NotOpen", 10, 0, 10, false, 10, "", 0.0f},
                      DataCase{"NegativeLength", -1, 0, 10, true, -1, "", 0.0f},
                      DataCase{"NegativePosition", 10, -5, 10, true, -1, "", 0.0f}),
    [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.name; });

TEST_F(OpenStream, AStreamWithoutItsNPStreamCompletesOnce) {
    stream->setStream(nullptr);
    stream->setSeekableByServer(false);
    stream->signalCompleted(true);
    stream->signalCompleted(false);
    EXPECT_EQ(sink->events, std::vector<std::string>{"completed:true"});
    EXPECT_TRUE(stream->isCompleted());
    EXPECT_TRUE(browser.records().streamsDestroyedByPlugin.empty());
}

// A failure still bound to its NPStream is reported once, as a failure,
// and the browser is asked to destroy the NPStream.
TEST_F(OpenStream, AFailedStreamReportsOnlyItsFailure) {
    stream->signalCompleted(false);
    EXPECT_EQ(sink->events, std::vector<std::string>{"completed:false"});
    EXPECT_EQ(stream->getStream(), nullptr);
    ASSERT_EQ(browser.records().streamsDestroyedByPlugin.size(), 1u);
    EXPECT_EQ(browser.records().streamsDestroyedByPlugin[0].second, NPRES_USER_BREAK);
}

TEST_F(OpenStream, ASeekableStreamThatSucceedsIsReportedCompleted) {
    ASSERT_TRUE(stream->isSeekable());
    stream->signalCompleted(true);
    EXPECT_EQ(sink->events, std::vector<std::string>{"completed:true"});
    EXPECT_TRUE(stream->isCompleted());
    EXPECT_FALSE(stream->isOpen());
}

TEST_F(OpenStream, AClosedStreamIsNotCompletedAgain) {
    stream->close();
    stream->signalCompleted(true);
    EXPECT_EQ(sink->events, std::vector<std::string>{"completed:false"});
}

} // namespace
