#include "NpapiStream.h"

#include "NpapiBrowserHost.h"
#include "PluginEvents/StreamEvents.h"
#include "logging.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>

namespace FB {
namespace Npapi {

namespace {

bool fitsInt32(std::size_t value) {
    return value <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}

// The browser's chain of byte ranges; false when a range cannot be one.
bool byteRanges(const std::vector<BrowserStream::Range>& ranges, std::vector<NPByteRange>& chain) {
    chain.resize(ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const BrowserStream::Range& range = ranges[i];
        if (range.end < range.start || !fitsInt32(range.start) ||
            range.end - range.start > std::numeric_limits<std::uint32_t>::max()) {
            return false;
        }
        chain[i].offset = static_cast<std::int32_t>(range.start);
        chain[i].length = static_cast<std::uint32_t>(range.end - range.start);
        chain[i].next = i + 1 < ranges.size() ? &chain[i + 1] : nullptr;
    }
    return true;
}

} // namespace

NpapiStream::NpapiStream(const std::string& url, bool cache, bool seekable,
                         std::size_t internalBufferSize,
                         const boost::shared_ptr<const NpapiBrowserHost>& host)
    : BrowserStream(url, cache, seekable, internalBufferSize), m_npStream(nullptr), m_host(host),
      m_destroyed(false), m_notified(false) {}

NpapiStream::~NpapiStream() {
    try {
        NpapiStream::close();
    } catch (const std::exception& e) {
        FBLOG_WARN("NpapiBrowserStream", std::string("Closing a stream failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("NpapiBrowserStream", "Closing a stream failed");
    }
}

bool NpapiStream::readRanges(const std::vector<Range>& ranges) {
    const boost::shared_ptr<const NpapiBrowserHost> host = getHost();
    if (!m_npStream || !host || !isSeekable() || !isOpen()) {
        return false;
    }
    if (ranges.empty()) {
        return true;
    }
    std::vector<NPByteRange> chain;
    if (!byteRanges(ranges, chain)) {
        return false;
    }
    return host->RequestRead(m_npStream, chain.data()) == NPERR_NO_ERROR;
}

bool NpapiStream::write(const char* data, std::size_t length, std::size_t& written) {
    const boost::shared_ptr<const NpapiBrowserHost> host = getHost();
    if (!m_npStream || !host || !isOpen() || !fitsInt32(length)) {
        return false;
    }
    const std::int32_t taken =
        host->Write(m_npStream, static_cast<std::int32_t>(length), const_cast<char*>(data));
    written = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(taken));
    return written == length;
}

// The NPStream is let go before the browser hears of it, so that a browser
// destroying it at once finds nothing bound to it.
bool NpapiStream::close() {
    const boost::shared_ptr<NpapiStream> self = keepAlive();
    NPStream* const npStream = m_npStream;
    if (!npStream) {
        return false;
    }
    npStream->pdata = nullptr;
    setStream(nullptr);
    if (isOpen() && !isCompleted()) {
        setCompleted(true);
        StreamCompletedEvent cut(this, false);
        SendEvent(&cut);
    }
    setOpen(false);
    const boost::shared_ptr<const NpapiBrowserHost> host = getHost();
    const bool destroyed =
        host && host->DestroyStream(npStream, NPRES_USER_BREAK) == NPERR_NO_ERROR;
    setDestroyed();
    return destroyed;
}

int NpapiStream::signalDataArrived(void* buffer, int len, int offset) {
    if (len < 0 || offset < 0 || (len > 0 && !buffer)) {
        return -1;
    }
    const std::size_t count = std::min(static_cast<std::size_t>(len), getInternalBufferSize());
    if (count == 0) {
        return 0;
    }
    const std::uint64_t received =
        static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(len);
    const float progress =
        getLength() == 0 ? 0.0f
                         : static_cast<float>(received) / static_cast<float>(getLength()) * 100.0f;
    if (isOpen()) {
        StreamDataArrivedEvent arrived(this, buffer, count, static_cast<std::size_t>(offset),
                                       progress);
        SendEvent(&arrived);
    }
    return static_cast<int>(count);
}

void NpapiStream::signalOpened() {
    setOpen(true);
    StreamOpenedEvent opened(this);
    SendEvent(&opened);
}

void NpapiStream::signalFailedOpen() {
    StreamFailedOpenEvent failed(this);
    SendEvent(&failed);
}

// Marked completed first, so that the close reports nothing of its own.
void NpapiStream::signalCompleted(bool success) {
    const boost::shared_ptr<NpapiStream> self = keepAlive();
    if (isCompleted()) {
        return;
    }
    setCompleted(true);
    close();
    StreamCompletedEvent completed(this, success);
    SendEvent(&completed);
}

void NpapiStream::signalCacheFilename(const std::wstring& name) {
    setCacheFilename(name);
}

void NpapiStream::setCreated() {
    m_selfReference = boost::static_pointer_cast<NpapiStream>(shared_from_this());
}

void NpapiStream::setDestroyed() {
    m_destroyed = true;
    releaseWhenDone();
}

void NpapiStream::setNotified() {
    m_notified = true;
    releaseWhenDone();
}

// May destroy the stream at once when nobody else holds it.
void NpapiStream::releaseWhenDone() {
    if (m_destroyed && m_notified) {
        m_selfReference.reset();
    }
}

boost::shared_ptr<NpapiStream> NpapiStream::keepAlive() {
    return boost::static_pointer_cast<NpapiStream>(weak_from_this().lock());
}

} // namespace Npapi
} // namespace FB
