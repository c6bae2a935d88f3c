#pragma once

// FB::SimpleStreamHelper: turns a browser stream into one completion call
// with the success flag, the response headers, the whole body and its
// length. It follows one stream, keeping itself alive until the stream
// ends. On top of it sit GET and POST requests, asynchronous (with a
// completion callback) and synchronous (blocking a worker thread until the
// response is there).

#include "BrowserStreamRequest.h"
#include "DefaultBrowserStreamHandler.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace FB {

class BrowserHost;
class URI;

// The result of a synchronous request.
class HttpStreamResponse : private boost::noncopyable {
public:
    HttpStreamResponse(bool success, const HeaderMap& headers,
                       const boost::shared_array<std::uint8_t>& data, std::size_t size)
        : success(success), headers(headers), data(data), size(size) {}

    bool success;
    HeaderMap headers;
    // Empty on failure.
    boost::shared_array<std::uint8_t> data;
    std::size_t size;
};

class SimpleStreamHelper;
typedef boost::shared_ptr<SimpleStreamHelper> SimpleStreamHelperPtr;
typedef boost::shared_ptr<HttpStreamResponse> HttpStreamResponsePtr;

class SimpleStreamHelper : public DefaultBrowserStreamHandler {
public:
    typedef boost::shared_ptr<const BrowserHost> HostPtr;

    // Any thread. Raise std::runtime_error "Invalid callback" for an empty
    // callback, and the host's errors of the hop to the main thread.
    static SimpleStreamHelperPtr AsyncGet(const boost::shared_ptr<BrowserHost>& host,
                                          const URI& url, const HttpCallback& callback, bool cache,
                                          std::size_t bufferSize);
    static SimpleStreamHelperPtr AsyncPost(const boost::shared_ptr<BrowserHost>& host,
                                           const URI& url, const std::string& postdata,
                                           const HttpCallback& callback, bool cache,
                                           std::size_t bufferSize);
    // A worker thread, never the main thread (the assertion
    // "!host->isMainThread()" fails there): blocks until the response is
    // complete, the stream has failed or the host shuts down. Empty when
    // the request could not be made or the host shut down first.
    static HttpStreamResponsePtr SynchronousGet(const boost::shared_ptr<BrowserHost>& host,
                                                const URI& url, bool cache, std::size_t bufferSize);
    static HttpStreamResponsePtr SynchronousPost(const boost::shared_ptr<BrowserHost>& host,
                                                 const URI& url, const std::string& postdata,
                                                 bool cache, std::size_t bufferSize);

    // Any thread: opens a stream for req through the host, on the main
    // thread, and follows it. A stream the host cannot open is reported to
    // the callback as a failure at once, and the helper has no stream.
    static SimpleStreamHelperPtr AsyncRequest(const HostPtr& host, const BrowserStreamRequest& req);
    // Any thread: follows a stream that is open already, or reports an
    // empty one as a failure.
    static SimpleStreamHelperPtr AsyncRequest(const HostPtr& host, const BrowserStreamPtr& stream,
                                              const BrowserStreamRequest& req);
    static HttpStreamResponsePtr SynchronousRequest(const HostPtr& host,
                                                    const BrowserStreamRequest& req);

    // The "Key: value" lines of a raw header text, trimmed; lines without a
    // colon are skipped and repeated keys are all kept, in order.
    static HeaderMap parse_http_headers(const std::string& headers);

    // A block size of 0 takes the request's default buffer size.
    SimpleStreamHelper(const HttpCallback& callback, std::size_t blockSize);

    // Keeps the helper alive until its stream has ended.
    void keepReference(const SimpleStreamHelperPtr& self) { m_self = self; }

    bool onStreamDataArrived(StreamDataArrivedEvent* evt, BrowserStream* stream) override;
    // A stream that fails to open ends the request as a failure.
    bool onStreamFailedOpen(StreamFailedOpenEvent* evt, BrowserStream* stream) override;
    // The request succeeds only when the stream ends whole: completed by
    // the browser and, when its length is known, with that many bytes.
    bool onStreamCompleted(StreamCompletedEvent* evt, BrowserStream* stream) override;
    // Closes the stream; the request ends as a failure.
    bool cancel() override;

private:
    bool endedWhole(const BrowserStream& stream) const;
    // Calls back once, then lets go of the stream and of the helper itself.
    void finish(bool success, const BrowserStream* stream);
    std::uint8_t* blockAt(std::size_t index);
    boost::shared_array<std::uint8_t> joinedBody() const;

    // Block index to a block of the block size, zero-filled when made.
    std::map<std::size_t, boost::shared_array<std::uint8_t>> m_blocks;
    std::size_t m_blockSize;
    // Bytes announced by data events so far.
    std::size_t m_received;
    HttpCallback m_callback;
    SimpleStreamHelperPtr m_self;
    bool m_finished;
};

} // namespace FB
