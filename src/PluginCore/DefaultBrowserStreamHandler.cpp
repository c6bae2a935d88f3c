#include "DefaultBrowserStreamHandler.h"

#include "Assertion.h"
#include "PluginEvents/AttachedEvent.h"
#include "PluginEvents/StreamEvents.h"

namespace FB {

bool DefaultBrowserStreamHandler::HandleEvent(PluginEvent* evt, PluginEventSource* source) {
    if (!source || !source->validType<BrowserStream>()) {
        return false;
    }
    BrowserStream* const stream = source->get_as<BrowserStream>();
    if (evt->validType<AttachedEvent>()) {
        return onStreamAttached(evt->get<AttachedEvent>(), stream);
    }
    if (evt->validType<DetachedEvent>()) {
        return onStreamDetached(evt->get<DetachedEvent>(), stream);
    }
    if (evt->validType<StreamCreatedEvent>()) {
        return onStreamCreated(evt->get<StreamCreatedEvent>(), stream);
    }
    if (evt->validType<StreamDestroyedEvent>()) {
        return onStreamDestroyed(evt->get<StreamDestroyedEvent>(), stream);
    }
    if (evt->validType<StreamFailedOpenEvent>()) {
        return onStreamFailedOpen(evt->get<StreamFailedOpenEvent>(), stream);
    }
    if (evt->validType<StreamOpenedEvent>()) {
        return onStreamOpened(evt->get<StreamOpenedEvent>(), stream);
    }
    if (evt->validType<StreamDataArrivedEvent>()) {
        return onStreamDataArrived(evt->get<StreamDataArrivedEvent>(), stream);
    }
    if (evt->validType<StreamCompletedEvent>()) {
        return onStreamCompleted(evt->get<StreamCompletedEvent>(), stream);
    }
    return false;
}

bool DefaultBrowserStreamHandler::onStreamAttached(AttachedEvent*, BrowserStream* stream) {
    checkAssertion(stream != nullptr, "Stream != NULL");
    setStream(stream->shared_from_this());
    return false;
}

bool DefaultBrowserStreamHandler::onStreamDetached(DetachedEvent*, BrowserStream*) {
    clearStream();
    return false;
}

bool DefaultBrowserStreamHandler::onStreamCreated(StreamCreatedEvent*, BrowserStream*) {
    return false;
}

bool DefaultBrowserStreamHandler::onStreamDestroyed(StreamDestroyedEvent*, BrowserStream*) {
    clearStream();
    return false;
}

bool DefaultBrowserStreamHandler::onStreamDataArrived(StreamDataArrivedEvent*, BrowserStream*) {
    return false;
}

bool DefaultBrowserStreamHandler::onStreamFailedOpen(StreamFailedOpenEvent*, BrowserStream*) {
    return false;
}

bool DefaultBrowserStreamHandler::onStreamOpened(StreamOpenedEvent*, BrowserStream*) {
    return false;
}

bool DefaultBrowserStreamHandler::onStreamCompleted(StreamCompletedEvent*, BrowserStream*) {
    return false;
}

bool DefaultBrowserStreamHandler::cancel() {
    const BrowserStreamPtr stream = getStream();
    return stream ? stream->close() : false;
}

// Setting the stream already held again changes nothing.
void DefaultBrowserStreamHandler::setStream(const BrowserStreamPtr& stream) {
    checkAssertion(!m_stream || !stream || stream == m_stream, "false");
    m_stream = stream;
}

} // namespace FB
