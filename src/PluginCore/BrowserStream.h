#pragma once

// FB::BrowserStream: the bytes of one URL between the browser and the
// plug-in. A browser binding implements reading, writing and closing.

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <string>

namespace FB {

class BrowserStream : private boost::noncopyable {
public:
    BrowserStream(const std::string& url, bool cache, bool seekable, std::size_t internalBufferSize)
        : m_url(url), m_seekableRequested(seekable), m_cached(cache),
          m_internalBufferSize(internalBufferSize) {}
    virtual ~BrowserStream() = default;

    virtual bool close() = 0;

    virtual std::string getUrl() const { return m_url; }
    virtual bool isSeekableRequested() const { return m_seekableRequested; }
    virtual bool isCached() const { return m_cached; }
    virtual std::size_t getInternalBufferSize() const { return m_internalBufferSize; }

private:
    std::string m_url;
    bool m_seekableRequested;
    bool m_cached;
    std::size_t m_internalBufferSize;
};

typedef boost::shared_ptr<BrowserStream> BrowserStreamPtr;

} // namespace FB
