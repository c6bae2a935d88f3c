#pragma once

// FB::Npapi::NpapiStream: the binding's browser stream, one URL carried by
// one NPStream of the browser. The browser's stream callbacks, forwarded by
// the instance's plug-in object, become the stream's flags and stream events
// for its observers; the plug-in reads byte ranges, writes and closes
// through the instance's host. From its creation until the browser has both
// destroyed the NPStream and sent the URL notification, the stream holds
// itself, so that it lives on without any outside owner. Main thread only.

#include "BrowserStream.h"

#include <NPAPI.h>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <cstddef>
#include <string>
#include <vector>

namespace FB {
namespace Npapi {

class NpapiBrowserHost;

class NpapiStream : public BrowserStream {
public:
    NpapiStream(const std::string& url, bool cache, bool seekable, std::size_t internalBufferSize,
                const boost::shared_ptr<const NpapiBrowserHost>& host);
    // Closes the stream.
    ~NpapiStream() override;

    // False without a bound NPStream, once the host is gone, or when the
    // browser refuses; a range must not end before it starts, and positions
    // and counts must fit the browser's 32 bits.
    bool readRanges(const std::vector<Range>& ranges) override;
    // written receives the browser's count; true when it took everything.
    bool write(const char* data, std::size_t length, std::size_t& written) override;
    // Ends the stream: an open stream not yet completed reports that it
    // failed, the browser is asked to destroy the NPStream, which is
    // forgotten and will send nothing more. False when no NPStream is bound
    // or the browser refuses.
    bool close() override;

    // The browser accepted the request: the stream holds itself.
    virtual void setCreated();
    // The browser destroyed the NPStream, or sent the URL notification; the
    // second of the two lets the stream go.
    virtual void setDestroyed();
    virtual void setNotified();

    // Data from the browser: reports at most the internal buffer's size of
    // it and answers the count taken, or -1 for a negative length or
    // position, or no data.
    virtual int signalDataArrived(void* buffer, int len, int offset);
    virtual void signalOpened();
    // Only tells the observers; the flags stay.
    virtual void signalFailedOpen();
    // The stream's end, reported once: the stream is marked completed,
    // closed, and its observers told whether it succeeded.
    virtual void signalCompleted(bool success);
    virtual void signalCacheFilename(const std::wstring& name);

    virtual void setStream(NPStream* stream) { m_npStream = stream; }
    virtual NPStream* getStream() const { return m_npStream; }
    // Empty once the host is gone.
    virtual boost::shared_ptr<const NpapiBrowserHost> getHost() const { return m_host.lock(); }

private:
    void releaseWhenDone();
    // The stream while something owns it, so that letting go of the self
    // reference cannot end it in the middle of an operation; empty in the
    // destructor.
    boost::shared_ptr<NpapiStream> keepAlive();

    NPStream* m_npStream;
    boost::weak_ptr<const NpapiBrowserHost> m_host;
    boost::shared_ptr<NpapiStream> m_selfReference;
    bool m_destroyed;
    bool m_notified;
};

} // namespace Npapi
} // namespace FB
