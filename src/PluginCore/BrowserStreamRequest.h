#pragma once

// FB::BrowserStreamRequest: the description of a browser stream to open:
// its URL, method, flags, buffer size, who receives its data and the POST
// body. A plain record, copied by value.

#include "URI.h"

#include <boost/function.hpp>
#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace FB {

class PluginEventSink;

typedef std::multimap<std::string, std::string> HeaderMap;
// Completion of a whole-body request: success, response headers, body and
// its length.
typedef boost::function<void(bool, const HeaderMap&, const boost::shared_array<std::uint8_t>&,
                             std::size_t)>
    HttpCallback;

class BrowserStreamRequest {
public:
    static const std::size_t defaultBufferSize = 0x20000;

    BrowserStreamRequest(const std::string& url, const std::string& method, bool accept)
        : uri(url), method(method), accepted(accept) {}
    BrowserStreamRequest(const URI& uri, std::string method, bool accept)
        : uri(uri), method(std::move(method)), accepted(accept) {}

    // Naming a receiver takes responsibility for the stream.
    void setEventSink(const boost::shared_ptr<PluginEventSink>& eventSink) {
        sink = eventSink;
        accepted = true;
    }
    boost::shared_ptr<PluginEventSink> getEventSink() const { return sink; }
    void setCallback(const HttpCallback& completion) {
        callback = completion;
        accepted = true;
    }
    HttpCallback getCallback() const { return callback; }

    void setCacheable(bool cacheable) { cache = cacheable; }
    void setSeekable(bool isSeekable) { seekable = isSeekable; }
    void setBufferSize(std::size_t size) { bufferSize = size; }
    void setLastModified(std::uint32_t time) { lastModified = time; }
    // Replaces the headers with those parsed from the raw header text.
    void setHeaders(const std::string& rawHeaders);

    void setPostData(const std::string& data, const std::string& dataHeaders) {
        postdata = data;
        postheaders = dataHeaders;
    }
    std::string getPostData() const { return postdata; }
    std::string getPostHeaders() const { return postheaders; }

    bool wasAccepted() const { return accepted; }

    URI uri;
    std::string method;
    // Response headers.
    HeaderMap headers;
    std::uint32_t lastModified = 0;
    bool seekable = false;
    std::size_t bufferSize = defaultBufferSize;
    bool cache = false;
    boost::shared_ptr<PluginEventSink> sink;
    HttpCallback callback;
    bool accepted;
    std::string postdata;
    std::string postheaders;
};

} // namespace FB
