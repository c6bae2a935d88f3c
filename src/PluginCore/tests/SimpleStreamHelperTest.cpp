#include "SimpleStreamHelper.h"
#include "FakeBrowserHost.h"
#include "LogCapture.h"
#include "MainThreadPump.h"
#include "URI.h"

#include <boost/make_shared.hpp>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>

namespace {

const char* const url = "http://example.test/data";

// The request the HTTP helpers make for a cached POST of "a=1": the method,
// the body and no headers of their own.
void expectCachedPostOfA1(const FB::BrowserStreamRequest& sent, std::size_t bufferSize) {
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.getPostData(), "a=1");
    EXPECT_EQ(sent.getPostHeaders(), "");
    EXPECT_TRUE(sent.cache);
    EXPECT_EQ(sent.bufferSize, bufferSize);
}

// What the completion callback was given.
struct Completion {
    int calls = 0;
    bool success = false;
    FB::HeaderMap headers;
    boost::shared_array<std::uint8_t> data;
    std::size_t size = 0;

    std::string body() const {
        return data ? std::string(reinterpret_cast<const char*>(data.get()), size) : "";
    }
};

class SimpleStreamHelperTest : public ::testing::Test {
protected:
    void TearDown() override { host->shutdown(); }

    FB::HttpCallback recorder() {
        return [this](bool success, const FB::HeaderMap& headers,
                      const boost::shared_array<std::uint8_t>& data, std::size_t size) {
            ++completion.calls;
            completion.success = success;
            completion.headers = headers;
            completion.data = data;
            completion.size = size;
        };
    }

    FB::SimpleStreamHelperPtr get(std::size_t blockSize) {
        return FB::SimpleStreamHelper::AsyncGet(host, FB::URI::fromString(url), recorder(), false,
                                                blockSize);
    }

    // The stream the binding opened last.
    boost::shared_ptr<FakeStream> lastStream() const {
        return host->openedStreams.empty() ? boost::shared_ptr<FakeStream>()
                                           : host->openedStreams.back().lock();
    }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    Completion completion;
};

TEST(HttpHeaders, LinesAreSplitAtTheFirstColonAndTrimmed) {
    struct Case {
        std::string text;
        FB::HeaderMap headers;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-A:  b:c \r\n\r\n",
         {{"Content-Type", "text/html"}, {"X-A", "b:c"}}},
        {"Set-Cookie: a=1\nSet-Cookie: b=2\n", {{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}}},
        {"", {}},
        {"\r\n\r\n  \r\nno colon here\r\n", {}},
        {"\tKey\t:\tvalue\t\rOther:x", {{"Key", "value"}, {"Other", "x"}}},
        {"Empty:\r\n: nameless", {{"Empty", ""}, {"", "nameless"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const FB::HeaderMap parsed = FB::SimpleStreamHelper::parse_http_headers(c.text);
        EXPECT_EQ(parsed, c.headers);
    }
    const FB::HeaderMap twice =
        FB::SimpleStreamHelper::parse_http_headers("K: first\r\nK: second\r\n");
    ASSERT_EQ(twice.count("K"), 2u);
    EXPECT_EQ(twice.lower_bound("K")->second, "first") << "equal keys keep their order";
}

TEST_F(SimpleStreamHelperTest, TheBodyIsJoinedFromBlocksWhateverTheBlockSize) {
    struct Case {
        std::size_t blockSize;
        std::vector<std::pair<std::size_t, std::string>> chunks;
    };
    std::string large;
    for (int i = 0; i < 10000; ++i) {
        large += static_cast<char>('a' + i % 26);
    }
    const Case cases[] = {
        {4, {{0, "abcdef"}, {6, "ghi"}}},
        {1, {{0, "abc"}, {3, "de"}}},
        {64, {{0, "abc"}, {3, "de"}}},
        {4, {{0, "abcd"}, {4, "efgh"}}},
        {0, {{0, "xyz"}}},
        {7, {{0, large.substr(0, 4095)}, {4095, large.substr(4095)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("block size " + std::to_string(c.blockSize));
        completion = Completion();
        get(c.blockSize);
        const auto stream = lastStream();
        ASSERT_TRUE(stream);
        stream->open();
        std::string expected;
        for (const auto& chunk : c.chunks) {
            stream->deliver(chunk.second, chunk.first);
            expected += chunk.second;
        }
        stream->complete(true);
        ASSERT_EQ(completion.calls, 1);
        EXPECT_TRUE(completion.success);
        EXPECT_EQ(completion.size, expected.size());
        EXPECT_EQ(completion.body(), expected);
    }
}

// Data out of stream order lands at its place; bytes nothing covered are
// zero, and bytes past the received count or past the largest offset are
// dropped.
TEST_F(SimpleStreamHelperTest, DataOutOfOrderNeverLeavesTheBlocksOrTheBody) {
    const std::size_t largest = std::numeric_limits<std::size_t>::max();
    struct Case {
        std::vector<std::pair<std::size_t, std::string>> chunks;
        std::string body;
    };
    const Case cases[] = {
        {{{4, "efg"}, {0, "abcd"}}, "abcdefg"},
        {{{0, "abc"}, {5, "xyz"}}, std::string("abc\0\0x", 6)},
        {{{2, "ab"}}, std::string("\0\0", 2)},
        {{{0, "abcd"}, {2, "XY"}}, std::string("abXY\0\0", 6)},
        {{{largest - 1, "abcde"}}, std::string(5, '\0')},
        {{{largest - 2, "ab"}, {0, "cd"}}, std::string("cd\0\0", 4)},
    };
    for (const Case& c : cases) {
        completion = Completion();
        get(4);
        const auto stream = lastStream();
        stream->open();
        for (const auto& chunk : c.chunks) {
            stream->deliver(chunk.second, chunk.first);
        }
        stream->complete(true);
        ASSERT_EQ(completion.calls, 1);
        EXPECT_EQ(completion.size, c.body.size());
        EXPECT_EQ(completion.body(), c.body);
    }
}

TEST_F(SimpleStreamHelperTest, ASuccessfulStreamReportsItsHeaders) {
    get(16);
    const auto stream = lastStream();
    stream->setHeaders("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nVia: a\r\nVia: b\r\n");
    stream->open();
    stream->deliver("hello", 0);
    stream->complete(true);
    ASSERT_EQ(completion.calls, 1);
    EXPECT_EQ(completion.headers,
              (FB::HeaderMap{{"Content-Type", "text/plain"}, {"Via", "a"}, {"Via", "b"}}));
    EXPECT_EQ(completion.body(), "hello");
}

TEST_F(SimpleStreamHelperTest, AnEmptyResponseSucceedsWithAnEmptyBody) {
    get(16);
    const auto stream = lastStream();
    stream->setHeaders("Content-Length: 0\r\n");
    stream->open();
    stream->complete(true);
    ASSERT_EQ(completion.calls, 1);
    EXPECT_TRUE(completion.success);
    EXPECT_EQ(completion.size, 0u);
    EXPECT_EQ(completion.headers, (FB::HeaderMap{{"Content-Length", "0"}}));
}

TEST_F(SimpleStreamHelperTest, AFailureAfterDataReportsTheCountButNoBody) {
    get(16);
    const auto stream = lastStream();
    stream->setHeaders("Content-Type: text/plain\r\n");
    stream->open();
    stream->deliver(std::string(60, 'x'), 0);
    stream->deliver(std::string(40, 'y'), 60);
    stream->complete(false);
    ASSERT_EQ(completion.calls, 1);
    EXPECT_FALSE(completion.success);
    EXPECT_TRUE(completion.headers.empty());
    EXPECT_FALSE(completion.data);
    EXPECT_EQ(completion.size, 100u);
}

// A stream closed before its end must not pass for a complete response.
TEST_F(SimpleStreamHelperTest, AStreamCutShortFails) {
    struct Case {
        std::string how;
        std::function<void(const FB::SimpleStreamHelperPtr&, FakeStream&)> cut;
    };
    const Case cases[] = {
        {"cancelled", [](const FB::SimpleStreamHelperPtr& helper,
                         FakeStream&) { EXPECT_TRUE(helper->cancel()); }},
        {"closed by the binding",
         [](const FB::SimpleStreamHelperPtr&, FakeStream& stream) { EXPECT_TRUE(stream.close()); }},
        {"shorter than its length",
         [](const FB::SimpleStreamHelperPtr&, FakeStream& stream) { stream.complete(true); }},
        {"host shut down",
         [this](const FB::SimpleStreamHelperPtr&, FakeStream&) { host->shutdown(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        host->shutdown();
        host = boost::make_shared<FakeBrowserHost>();
        completion = Completion();
        const FB::SimpleStreamHelperPtr helper = get(16);
        const auto stream = lastStream();
        stream->setLength(10);
        stream->open();
        stream->deliver("abcde", 0);
        c.cut(helper, *stream);
        stream->complete(true);
        EXPECT_EQ(completion.calls, 1) << "called once";
        EXPECT_FALSE(completion.success);
        EXPECT_EQ(completion.size, 5u);
    }
}

TEST_F(SimpleStreamHelperTest, CancellingAStreamThatNeverOpenedStillEndsTheRequest) {
    const FB::SimpleStreamHelperPtr helper = get(16);
    EXPECT_FALSE(helper->cancel()) << "nothing to close yet";
    EXPECT_EQ(completion.calls, 1);
    EXPECT_FALSE(completion.success);
}

TEST_F(SimpleStreamHelperTest, ARequestStillWaitingWhenTheHostShutsDownFailsAndIsLetGo) {
    const boost::weak_ptr<FB::SimpleStreamHelper> helper = get(16);
    const boost::weak_ptr<FakeStream> stream = lastStream();
    host->shutdown();
    EXPECT_EQ(completion.calls, 1);
    EXPECT_FALSE(completion.success);
    EXPECT_TRUE(helper.expired());
    EXPECT_TRUE(stream.expired());
}

TEST_F(SimpleStreamHelperTest, AStreamThatFailsToOpenEndsTheRequestOnce) {
    get(16);
    const auto stream = lastStream();
    stream->failOpen();
    EXPECT_EQ(completion.calls, 1);
    EXPECT_FALSE(completion.success);
    stream->complete(false);
    EXPECT_EQ(completion.calls, 1);
}

TEST_F(SimpleStreamHelperTest, ARefusedRequestFailsAtOnceInsteadOfFollowingNoStream) {
    host->refusesStreams = true;
    const FB::SimpleStreamHelperPtr helper = get(16);
    ASSERT_TRUE(helper);
    EXPECT_FALSE(helper->getStream());
    EXPECT_EQ(completion.calls, 1);
    EXPECT_FALSE(completion.success);
    EXPECT_EQ(completion.size, 0u);

    FB::BrowserStreamRequest req(url, "GET", true);
    req.setCallback(recorder());
    EXPECT_FALSE(host->createStream(req, true));
    EXPECT_EQ(completion.calls, 2);
}

TEST_F(SimpleStreamHelperTest, ARequestGoesThroughTheHostAndIsKeptUntilItEnds) {
    const boost::weak_ptr<FB::SimpleStreamHelper> helper = FB::SimpleStreamHelper::AsyncPost(
        host, FB::URI::fromString(url), "a=1", recorder(), true, 512);
    ASSERT_EQ(host->streamRequests.size(), 1u);
    const FB::BrowserStreamRequest& sent = host->streamRequests[0];
    expectCachedPostOfA1(sent, 512);
    EXPECT_TRUE(sent.wasAccepted());

    boost::weak_ptr<FakeStream> stream = lastStream();
    ASSERT_FALSE(helper.expired()) << "the helper keeps itself while it waits";
    stream.lock()->open();
    stream.lock()->deliver("ok", 0);
    stream.lock()->complete(true);
    EXPECT_EQ(completion.body(), "ok");
    EXPECT_TRUE(helper.expired()) << "let go once it has called back";
    EXPECT_TRUE(stream.expired()) << "nothing holds the stream any more";
}

TEST_F(SimpleStreamHelperTest, AnEmptyCallbackIsRefusedBeforeAnyHop) {
    std::future<void> attempt = std::async(std::launch::async, [this] {
        FB::SimpleStreamHelper::AsyncGet(host, FB::URI::fromString(url), FB::HttpCallback(), false,
                                         16);
    });
    ASSERT_EQ(attempt.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    try {
        attempt.get();
        FAIL() << "an empty callback was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid callback");
    }
    EXPECT_EQ(host->pendingCalls(), 0u);
}

TEST_F(SimpleStreamHelperTest, AWorkersRequestIsMadeOnTheMainThread) {
    std::future<FB::SimpleStreamHelperPtr> request = std::async(std::launch::async, [this] {
        return FB::SimpleStreamHelper::AsyncGet(host, FB::URI::fromString(url), recorder(), false,
                                                16);
    });
    ASSERT_TRUE(pumpUntil(*host, [&] {
        return request.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    const FB::SimpleStreamHelperPtr helper = request.get();
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->getStream(), lastStream());
}

class SynchronousRequest : public SimpleStreamHelperTest {
protected:
    std::future<FB::HttpStreamResponsePtr> getFromWorker() {
        return std::async(std::launch::async, [this] {
            return FB::SimpleStreamHelper::SynchronousGet(host, FB::URI::fromString(url), false, 4);
        });
    }

    // Pumps the main thread until the worker has its answer. A worker still
    // waiting by then is released by shutting the host down.
    FB::HttpStreamResponsePtr answer(std::future<FB::HttpStreamResponsePtr>& response) {
        const bool answered = pumpUntil(*host, [&] {
            return response.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        EXPECT_TRUE(answered);
        if (!answered) {
            host->shutdown();
            return FB::HttpStreamResponsePtr();
        }
        return response.get();
    }

    // Pumps the main thread until the worker's request has its stream.
    boost::shared_ptr<FakeStream> requestedStream() {
        EXPECT_TRUE(pumpUntil(*host, [this] { return lastStream() != nullptr; }));
        return lastStream();
    }
};

TEST_F(SynchronousRequest, AWorkerGetsTheWholeResponseWhileTheMainThreadRuns) {
    std::future<FB::HttpStreamResponsePtr> response = getFromWorker();
    const auto stream = requestedStream();
    ASSERT_TRUE(stream);
    stream->setHeaders("Content-Type: text/plain\r\n");
    stream->open();
    stream->deliver("abcdef", 0);
    stream->deliver("ghi", 6);
    stream->complete(true);

    const FB::HttpStreamResponsePtr result = answer(response);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->success);
    EXPECT_EQ(result->headers, (FB::HeaderMap{{"Content-Type", "text/plain"}}));
    EXPECT_EQ(result->size, 9u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(result->data.get()), result->size),
              "abcdefghi");
}

TEST_F(SynchronousRequest, AStreamThatFailsToOpenEndsTheWait) {
    std::future<FB::HttpStreamResponsePtr> response = getFromWorker();
    const auto stream = requestedStream();
    ASSERT_TRUE(stream);
    stream->failOpen();
    const FB::HttpStreamResponsePtr result = answer(response);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->success);
}

TEST_F(SynchronousRequest, ARefusedStreamEndsTheWait) {
    host->refusesStreams = true;
    std::future<FB::HttpStreamResponsePtr> response = std::async(std::launch::async, [this] {
        return FB::SimpleStreamHelper::SynchronousPost(host, FB::URI::fromString(url), "a=1", true,
                                                       256);
    });
    const FB::HttpStreamResponsePtr result = answer(response);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->success);
    ASSERT_EQ(host->streamRequests.size(), 1u);
    expectCachedPostOfA1(host->streamRequests[0], 256);
}

TEST_F(SynchronousRequest, HostShutdownEndsTheWait) {
    LogCapture capture;
    std::future<FB::HttpStreamResponsePtr> response = getFromWorker();
    ASSERT_TRUE(requestedStream());
    // The worker's hop to the main thread is over once its call is gone;
    // from there on it waits for the response.
    ASSERT_TRUE(waitUntil([&] { return !capture.messages("FunctorCall").empty(); }));
    host->shutdown();
    ASSERT_EQ(response.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const FB::HttpStreamResponsePtr result = response.get();
    EXPECT_TRUE(!result || !result->success) << "no response, or the stream's failure";
}

TEST_F(SynchronousRequest, AShutDownHostGivesNoResponse) {
    host->shutdown();
    std::future<FB::HttpStreamResponsePtr> response = getFromWorker();
    ASSERT_EQ(response.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(response.get());
}

TEST_F(SynchronousRequest, TheMainThreadMayNotWaitForItself) {
    try {
        FB::SimpleStreamHelper::SynchronousGet(host, FB::URI::fromString(url), false, 4);
        FAIL() << "the main thread blocked on itself";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "!host->isMainThread()");
    }
    EXPECT_TRUE(host->streamRequests.empty());
}

} // namespace
