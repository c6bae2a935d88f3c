#pragma once

// FB::BrowserStreamManager: keeps the streams a browser host opened alive
// until they complete; whatever it still keeps when it goes is closed, and
// reported failed when it never opened. The manager observes each stream it
// keeps.

#include "BrowserStream.h"
#include "PluginEventSink.h"

#include <boost/thread/recursive_mutex.hpp>
#include <set>

namespace FB {

class StreamCompletedEvent;

class BrowserStreamManager : public PluginEventSink {
public:
    ~BrowserStreamManager() override;

    bool HandleEvent(PluginEvent* evt, PluginEventSource* source) override;
    // Releases the stream and leaves the completion to its other observers.
    virtual bool onStreamCompleted(StreamCompletedEvent* evt, BrowserStream* stream);

    // A stream retained twice is kept, and observed, once.
    void retainStream(const BrowserStreamPtr& stream);
    void releaseStream(const BrowserStreamPtr& stream);

private:
    std::set<BrowserStreamPtr> m_retainedStreams;
    boost::recursive_mutex m_xtLock;
};

} // namespace FB
