#include "BrowserStream.h"

#include "PluginEvents/StreamEvents.h"
#include "variant.h"

#include <exception>

namespace FB {

BrowserStream::BrowserStream(const std::string& url, bool cache, bool seekable,
                             std::size_t internalBufferSize)
    : url(url), seekableRequested(seekable), seekableByServer(false), cached(cache),
      internalBufferSize(internalBufferSize), length(0), completed(false), opened(false) {}

// A sink's failure must not leave the destructor.
BrowserStream::~BrowserStream() {
    StreamDestroyedEvent evt(this);
    try {
        SendEvent(&evt);
    } catch (...) {
    }
}

BrowserStreamPtr BrowserStream::shared_from_this() {
    return ptr_cast<BrowserStream>(PluginEventSource::shared_from_this());
}

bool BrowserStream::readRange(std::size_t start, std::size_t end) {
    return readRanges(std::vector<Range>(1, Range(start, end)));
}

} // namespace FB
