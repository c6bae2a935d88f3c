#pragma once

// FB::Npapi::NpapiStream: the binding's browser stream, one URL carried by
// one NPStream of the browser. The plug-in reads byte ranges, writes and
// closes through the instance's host. From its creation until the browser
// has both destroyed the NPStream and sent the URL notification, the stream
// holds itself, so that it lives on without any outside owner.

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

    // Main thread. False without a bound NPStream, once the host is gone, or
    // when the browser refuses; a range must not end before it starts, and
    // positions and counts must fit the browser's 32 bits.
    bool readRanges(const std::vector<Range>& ranges) override;
    // written receives the browser's count; true when it took everything.
    bool write(const char* data, std::size_t length, std::size_t& written) override;
    // Ends the stream early: an open stream reports its completion, the
    // browser is asked to destroy the NPStream, which is forgotten.
    bool close() override;

    // The browser accepted the request: the stream holds itself.
    virtual void setCreated();
    // The browser destroyed the NPStream, or sent the URL notification; the
    // second of the two lets the stream go.
    virtual void setDestroyed();
    virtual void setNotified();

    virtual void setStream(NPStream* stream) { m_npStream = stream; }
    virtual NPStream* getStream() const { return m_npStream; }
    // Empty once the host is gone.
    virtual boost::shared_ptr<const NpapiBrowserHost> getHost() const { return m_host.lock(); }

private:
    void releaseWhenDone();

    NPStream* m_npStream;
    boost::weak_ptr<const NpapiBrowserHost> m_host;
    boost::shared_ptr<NpapiStream> m_selfReference;
    bool m_destroyed;
    bool m_notified;
};

} // namespace Npapi
} // namespace FB
