#pragma once

// FB::BrowserStream: the bytes of one URL between the browser and the
// plug-in. A browser binding implements reading, writing and closing, keeps
// the stream's fields as the browser reports them and sends the stream
// events to the stream's observers, with the stream as their source. A
// stream marks itself completed before it reports a successful end; a
// successful completion from a stream not marked completed (one closed
// early) reports a cut stream.

#include "PluginEventSource.h"

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <string>
#include <vector>

namespace FB {

class BrowserStream;
typedef boost::shared_ptr<BrowserStream> BrowserStreamPtr;

class BrowserStream : public PluginEventSource {
public:
    // The bytes from start up to, not including, end.
    struct Range {
        Range(std::size_t start, std::size_t end) : start(start), end(end) {}

        std::size_t start;
        std::size_t end;
    };

    // Note the order: the cache flag comes before the seekable flag.
    BrowserStream(const std::string& url, bool cache, bool seekable,
                  std::size_t internalBufferSize);
    // Tells the observers that the stream is destroyed.
    ~BrowserStream() override;

    // Raises boost::bad_weak_ptr for a stream no shared pointer owns.
    virtual BrowserStreamPtr shared_from_this();
    virtual bool readRange(std::size_t start, std::size_t end);
    virtual bool readRanges(const std::vector<Range>& ranges) = 0;
    virtual bool write(const char* data, std::size_t dataLength, std::size_t& written) = 0;
    virtual bool close() = 0;

    virtual std::string getUrl() const { return url; }
    virtual bool isSeekableByServer() const { return seekableByServer; }
    virtual bool isSeekableRequested() const { return seekableRequested; }
    // Requested and allowed by the server.
    virtual bool isSeekable() const { return isSeekableRequested() && isSeekableByServer(); }
    virtual bool isCached() const { return cached; }
    virtual bool isCompleted() const { return completed; }
    virtual bool isOpen() const { return opened; }
    virtual std::string getMimeType() const { return mimeType; }
    virtual std::wstring getCacheFilename() const { return cacheFilename; }
    virtual std::string getHeaders() const { return headers; }
    virtual std::size_t getInternalBufferSize() const { return internalBufferSize; }
    // 0 when unknown.
    virtual std::size_t getLength() const { return length; }

    virtual void setUrl(const std::string& value) { url = value; }
    virtual void setSeekableByServer(bool value) { seekableByServer = value; }
    virtual void setCached(bool value) { cached = value; }
    virtual void setCompleted(bool value) { completed = value; }
    virtual void setOpen(bool value) { opened = value; }
    virtual void setMimeType(const std::string& value) { mimeType = value; }
    virtual void setCacheFilename(const std::wstring& value) { cacheFilename = value; }
    virtual void setHeaders(const std::string& value) { headers = value; }
    virtual void setInternalBufferSize(std::size_t value) { internalBufferSize = value; }
    virtual void setLength(std::size_t value) { length = value; }

private:
    std::string url;
    bool seekableRequested;
    bool seekableByServer;
    bool cached;
    std::size_t internalBufferSize;
    std::wstring cacheFilename;
    std::size_t length;
    std::string mimeType;
    bool completed;
    bool opened;
    // The raw response header text.
    std::string headers;
};

} // namespace FB
