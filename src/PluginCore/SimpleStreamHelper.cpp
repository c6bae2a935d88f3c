#include "SimpleStreamHelper.h"

#include "Assertion.h"
#include "BrowserHost.h"
#include "PluginEvents/StreamEvents.h"
#include "URI.h"

#include <algorithm>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/weak_ptr.hpp>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

// One synchronous request: the worker waits here until the main thread
// stores the response, or the host shuts down. The completion callback
// reaches it through a weak pointer, so a response that comes after the
// worker has given up goes nowhere.
class SyncHTTPHelper : private boost::noncopyable {
public:
    static FB::HttpCallback callbackFor(const boost::shared_ptr<SyncHTTPHelper>& target) {
        const boost::weak_ptr<SyncHTTPHelper> weak = target;
        return [weak](bool success, const FB::HeaderMap& headers,
                      const boost::shared_array<std::uint8_t>& data, std::size_t size) {
            if (const boost::shared_ptr<SyncHTTPHelper> helper = weak.lock()) {
                helper->getURLCallback(success, headers, data, size);
            }
        };
    }

    void getURLCallback(bool success, const FB::HeaderMap& headers,
                        const boost::shared_array<std::uint8_t>& data, std::size_t size) {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        m_response = boost::make_shared<FB::HttpStreamResponse>(success, headers, data, size);
        m_done = true;
        m_cond.notify_all();
    }

    void setPtr(const FB::SimpleStreamHelperPtr& helper) { m_helper = helper; }

    // Wakes at the signal, or every 10 ms to look at the host.
    FB::HttpStreamResponsePtr waitForDone(const FB::SimpleStreamHelper::HostPtr& host) {
        boost::unique_lock<boost::mutex> lock(m_mutex);
        while (!m_done && !host->isShutDown()) {
            m_cond.timed_wait(lock, boost::posix_time::milliseconds(10));
        }
        return m_response;
    }

private:
    bool m_done = false;
    FB::SimpleStreamHelperPtr m_helper;
    boost::condition_variable m_cond;
    boost::mutex m_mutex;
    FB::HttpStreamResponsePtr m_response;
};

} // namespace

namespace FB {

namespace {

BrowserStreamRequest request(const URI& url, const std::string& method, bool cache,
                             std::size_t bufferSize) {
    BrowserStreamRequest req(url, method, true);
    req.setCacheable(cache);
    req.setBufferSize(bufferSize);
    return req;
}

BrowserStreamRequest postRequest(const URI& url, const std::string& postdata, bool cache,
                                 std::size_t bufferSize) {
    BrowserStreamRequest req = request(url, "POST", cache, bufferSize);
    req.setPostData(postdata, "");
    return req;
}

BrowserStreamRequest withCallback(BrowserStreamRequest req, const HttpCallback& callback) {
    req.setCallback(callback);
    return req;
}

} // namespace

SimpleStreamHelperPtr SimpleStreamHelper::AsyncGet(const boost::shared_ptr<BrowserHost>& host,
                                                   const URI& url, const HttpCallback& callback,
                                                   bool cache, std::size_t bufferSize) {
    return AsyncRequest(host, withCallback(request(url, "GET", cache, bufferSize), callback));
}

SimpleStreamHelperPtr SimpleStreamHelper::AsyncPost(const boost::shared_ptr<BrowserHost>& host,
                                                    const URI& url, const std::string& postdata,
                                                    const HttpCallback& callback, bool cache,
                                                    std::size_t bufferSize) {
    return AsyncRequest(host,
                        withCallback(postRequest(url, postdata, cache, bufferSize), callback));
}

HttpStreamResponsePtr SimpleStreamHelper::SynchronousGet(const boost::shared_ptr<BrowserHost>& host,
                                                         const URI& url, bool cache,
                                                         std::size_t bufferSize) {
    return SynchronousRequest(host, request(url, "GET", cache, bufferSize));
}

HttpStreamResponsePtr
SimpleStreamHelper::SynchronousPost(const boost::shared_ptr<BrowserHost>& host, const URI& url,
                                    const std::string& postdata, bool cache,
                                    std::size_t bufferSize) {
    return SynchronousRequest(host, postRequest(url, postdata, cache, bufferSize));
}

SimpleStreamHelperPtr SimpleStreamHelper::AsyncRequest(const HostPtr& host,
                                                       const BrowserStreamRequest& req) {
    if (!req.getCallback()) {
        throw std::runtime_error("Invalid callback");
    }
    if (!host->isMainThread()) {
        return host->CallOnMainThread([host, req] { return AsyncRequest(host, req); });
    }
    return AsyncRequest(host, host->createStream(req, false), req);
}

SimpleStreamHelperPtr SimpleStreamHelper::AsyncRequest(const HostPtr& host,
                                                       const BrowserStreamPtr& stream,
                                                       const BrowserStreamRequest& req) {
    if (!host->isMainThread()) {
        return host->CallOnMainThread(
            [host, stream, req] { return AsyncRequest(host, stream, req); });
    }
    const SimpleStreamHelperPtr helper =
        boost::make_shared<SimpleStreamHelper>(req.getCallback(), req.bufferSize);
    if (!stream) {
        helper->finish(false, nullptr);
        return helper;
    }
    helper->keepReference(helper);
    stream->AttachObserver(helper);
    return helper;
}

HttpStreamResponsePtr SimpleStreamHelper::SynchronousRequest(const HostPtr& host,
                                                             const BrowserStreamRequest& req) {
    checkAssertion(!host->isMainThread(), "!host->isMainThread()");
    const boost::shared_ptr<SyncHTTPHelper> sync = boost::make_shared<SyncHTTPHelper>();
    try {
        sync->setPtr(AsyncRequest(host, withCallback(req, SyncHTTPHelper::callbackFor(sync))));
        return sync->waitForDone(host);
    } catch (const std::exception&) {
        return HttpStreamResponsePtr();
    }
}

HeaderMap SimpleStreamHelper::parse_http_headers(const std::string& headers) {
    std::vector<std::string> lines;
    boost::algorithm::split(lines, headers, boost::algorithm::is_any_of("\r\n"));
    HeaderMap parsed;
    for (std::string& line : lines) {
        boost::algorithm::trim(line);
        const std::string::size_type colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        parsed.insert(std::make_pair(boost::algorithm::trim_copy(line.substr(0, colon)),
                                     boost::algorithm::trim_copy(line.substr(colon + 1))));
    }
    return parsed;
}

SimpleStreamHelper::SimpleStreamHelper(const HttpCallback& callback, std::size_t blockSize)
    : m_blockSize(blockSize ? blockSize : BrowserStreamRequest::defaultBufferSize), m_received(0),
      m_callback(callback), m_finished(false) {}

// Each byte goes to the block its stream position falls in, wherever the
// data sits in the stream; a position past the largest offset has no place
// and is dropped.
bool SimpleStreamHelper::onStreamDataArrived(StreamDataArrivedEvent* evt, BrowserStream*) {
    const std::uint8_t* data = static_cast<const std::uint8_t*>(evt->getData());
    if (m_finished || !data) {
        return false;
    }
    const std::size_t largest = std::numeric_limits<std::size_t>::max();
    std::size_t position = evt->getDataPosition();
    std::size_t remaining = std::min(evt->getLength(), largest - position);
    m_received += std::min(evt->getLength(), largest - m_received);
    while (remaining > 0) {
        const std::size_t offset = position % m_blockSize;
        const std::size_t count = std::min(remaining, m_blockSize - offset);
        std::memcpy(blockAt(position / m_blockSize) + offset, data, count);
        data += count;
        position += count;
        remaining -= count;
    }
    return false;
}

bool SimpleStreamHelper::onStreamFailedOpen(StreamFailedOpenEvent*, BrowserStream* stream) {
    finish(false, stream);
    return false;
}

bool SimpleStreamHelper::onStreamCompleted(StreamCompletedEvent* evt, BrowserStream* stream) {
    finish(evt->m_success && endedWhole(*stream), stream);
    return false;
}

bool SimpleStreamHelper::cancel() {
    const bool closed = DefaultBrowserStreamHandler::cancel();
    finish(false, nullptr);
    return closed;
}

// A stream closed before its end reports a successful completion without
// being marked completed.
bool SimpleStreamHelper::endedWhole(const BrowserStream& stream) const {
    return stream.isCompleted() && (stream.getLength() == 0 || m_received >= stream.getLength());
}

void SimpleStreamHelper::finish(bool success, const BrowserStream* stream) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    HttpCallback callback;
    callback.swap(m_callback);
    SimpleStreamHelperPtr self;
    self.swap(m_self);
    HeaderMap headers;
    boost::shared_array<std::uint8_t> body;
    if (success) {
        headers = parse_http_headers(stream->getHeaders());
        body = joinedBody();
    }
    m_blocks.clear();
    clearStream();
    if (callback) {
        callback(success, headers, body, m_received);
    }
}

std::uint8_t* SimpleStreamHelper::blockAt(std::size_t index) {
    boost::shared_array<std::uint8_t>& block = m_blocks[index];
    if (!block) {
        block.reset(new std::uint8_t[m_blockSize]());
    }
    return block.get();
}

// Bytes no data event covered are zero; blocks at or past the received
// count contribute nothing.
boost::shared_array<std::uint8_t> SimpleStreamHelper::joinedBody() const {
    boost::shared_array<std::uint8_t> body(new std::uint8_t[m_received]());
    for (const auto& block : m_blocks) {
        const std::size_t offset = block.first * m_blockSize;
        if (offset >= m_received) {
            break;
        }
        std::memcpy(body.get() + offset, block.second.get(),
                    std::min(m_blockSize, m_received - offset));
    }
    return body;
}

} // namespace FB
