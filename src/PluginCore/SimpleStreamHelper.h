#pragma once

// FB::SimpleStreamHelper: turns a browser stream into one completion call
// with the whole response body.

#include "BrowserStream.h"
#include "BrowserStreamRequest.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstddef>

namespace FB {

class BrowserHost;

class SimpleStreamHelper : private boost::noncopyable {
public:
    typedef boost::shared_ptr<const BrowserHost> HostPtr;

    // Any thread: opens a stream for req through the host, on the main
    // thread, and follows it. Raises std::runtime_error "Invalid callback"
    // for a request without a completion callback, and the host's errors of
    // the hop to the main thread.
    static boost::shared_ptr<SimpleStreamHelper> AsyncRequest(const HostPtr& host,
                                                              const BrowserStreamRequest& req);
    // Any thread: follows a stream that is open already.
    static boost::shared_ptr<SimpleStreamHelper> AsyncRequest(const HostPtr& host,
                                                              const BrowserStreamPtr& stream,
                                                              const BrowserStreamRequest& req);

    SimpleStreamHelper(const HttpCallback& callback, std::size_t blockSize)
        : m_callback(callback), m_blockSize(blockSize) {}

    const BrowserStreamPtr& getStream() const { return m_stream; }

private:
    HttpCallback m_callback;
    std::size_t m_blockSize;
    BrowserStreamPtr m_stream;
};

} // namespace FB
