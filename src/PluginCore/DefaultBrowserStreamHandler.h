#pragma once

// FB::DefaultBrowserStreamHandler: the base of an object that follows one
// browser stream. It sorts the stream's events into one handler per kind,
// holds the stream while it is attached to it, and can cancel it.

#include "BrowserStream.h"
#include "PluginEventSink.h"

namespace FB {

class AttachedEvent;
class DetachedEvent;
class StreamCreatedEvent;
class StreamDestroyedEvent;
class StreamDataArrivedEvent;
class StreamFailedOpenEvent;
class StreamOpenedEvent;
class StreamCompletedEvent;

class DefaultBrowserStreamHandler : public PluginEventSink {
public:
    // Events from a source that is not a stream are not handled.
    bool HandleEvent(PluginEvent* evt, PluginEventSource* source) override;

    // Each handler answers whether it handled the event.
    virtual bool onStreamAttached(AttachedEvent* evt, BrowserStream* stream);
    virtual bool onStreamDetached(DetachedEvent* evt, BrowserStream* stream);
    virtual bool onStreamCreated(StreamCreatedEvent* evt, BrowserStream* stream);
    virtual bool onStreamDestroyed(StreamDestroyedEvent* evt, BrowserStream* stream);
    virtual bool onStreamDataArrived(StreamDataArrivedEvent* evt, BrowserStream* stream);
    virtual bool onStreamFailedOpen(StreamFailedOpenEvent* evt, BrowserStream* stream);
    virtual bool onStreamOpened(StreamOpenedEvent* evt, BrowserStream* stream);
    virtual bool onStreamCompleted(StreamCompletedEvent* evt, BrowserStream* stream);

    virtual const BrowserStreamPtr& getStream() const { return m_stream; }
    // Closes the stream; false when there is none. The stream stays held
    // until it detaches the handler or is destroyed.
    virtual bool cancel();
    // A handler follows one stream at a time: setting another stream while
    // one is held fails the assertion "false".
    virtual void setStream(const BrowserStreamPtr& stream);
    virtual void clearStream() { m_stream.reset(); }

private:
    BrowserStreamPtr m_stream;
};

} // namespace FB
