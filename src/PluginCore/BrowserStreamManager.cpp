#include "BrowserStreamManager.h"

#include "PluginEvents/StreamEvents.h"

#include <exception>

namespace FB {

namespace {

// A stream that was open reports its own end when it is closed; one that
// never opened has nothing that would, so its observers are told here that
// it failed.
void endStream(BrowserStream& stream) {
    const bool wasOpen = stream.isOpen();
    stream.close();
    if (!wasOpen && !stream.isCompleted()) {
        StreamCompletedEvent failed(&stream, false);
        stream.SendEvent(&failed);
    }
}

} // namespace

// The streams are ended after the lock is released: closing calls into the
// browser binding and on to the streams' observers.
BrowserStreamManager::~BrowserStreamManager() {
    std::set<BrowserStreamPtr> open;
    {
        boost::recursive_mutex::scoped_lock lock(m_xtLock);
        open.swap(m_retainedStreams);
    }
    for (const BrowserStreamPtr& stream : open) {
        try {
            endStream(*stream);
        } catch (...) {
        }
    }
}

bool BrowserStreamManager::HandleEvent(PluginEvent* evt, PluginEventSource* source) {
    if (evt->validType<StreamCompletedEvent>() && source->validType<BrowserStream>()) {
        return onStreamCompleted(evt->get<StreamCompletedEvent>(), source->get_as<BrowserStream>());
    }
    return false;
}

// A stream no shared pointer owns cannot be in the set.
bool BrowserStreamManager::onStreamCompleted(StreamCompletedEvent*, BrowserStream* stream) {
    if (!stream->weak_from_this().expired()) {
        releaseStream(stream->shared_from_this());
    }
    return false;
}

void BrowserStreamManager::retainStream(const BrowserStreamPtr& stream) {
    if (!stream) {
        return;
    }
    {
        boost::recursive_mutex::scoped_lock lock(m_xtLock);
        if (!m_retainedStreams.insert(stream).second) {
            return;
        }
    }
    stream->AttachObserver(shared_from_this());
}

// The stream is held until the end, so that a caller's reference into the
// set stays good, and is let go with no lock held.
void BrowserStreamManager::releaseStream(const BrowserStreamPtr& stream) {
    const BrowserStreamPtr released = stream;
    if (!released) {
        return;
    }
    if (const PluginEventSinkPtr self = weak_from_this().lock()) {
        released->DetachObserver(self);
    }
    boost::recursive_mutex::scoped_lock lock(m_xtLock);
    m_retainedStreams.erase(released);
}

} // namespace FB
