#include "SimpleStreamHelper.h"

#include "BrowserHost.h"

#include <boost/make_shared.hpp>
#include <stdexcept>

namespace FB {

boost::shared_ptr<SimpleStreamHelper>
SimpleStreamHelper::AsyncRequest(const HostPtr& host, const BrowserStreamRequest& req) {
    if (!req.getCallback()) {
        throw std::runtime_error("Invalid callback");
    }
    if (!host->isMainThread()) {
        return host->CallOnMainThread([host, req] { return AsyncRequest(host, req); });
    }
    return AsyncRequest(host, host->createStream(req, false), req);
}

boost::shared_ptr<SimpleStreamHelper>
SimpleStreamHelper::AsyncRequest(const HostPtr& host, const BrowserStreamPtr& stream,
                                 const BrowserStreamRequest& req) {
    if (!host->isMainThread()) {
        return host->CallOnMainThread(
            [host, stream, req] { return AsyncRequest(host, stream, req); });
    }
    const auto helper = boost::make_shared<SimpleStreamHelper>(req.getCallback(), req.bufferSize);
    helper->m_stream = stream;
    return helper;
}

} // namespace FB
