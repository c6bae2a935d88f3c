#include "NpapiStream.h"

#include "NpapiBrowserHost.h"
#include "PluginEvents/StreamEvents.h"
#include "logging.h"

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

bool NpapiStream::close() {
    if (!m_npStream) {
        return false;
    }
    if (isOpen()) {
        StreamCompletedEvent completed(this, true);
        SendEvent(&completed);
    }
    setOpen(false);
    const boost::shared_ptr<const NpapiBrowserHost> host = getHost();
    const bool destroyed =
        host && host->DestroyStream(m_npStream, NPRES_USER_BREAK) == NPERR_NO_ERROR;
    setStream(nullptr);
    return destroyed;
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

} // namespace Npapi
} // namespace FB
