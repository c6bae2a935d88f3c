#include "PluginEventSource.h"

#include "PluginEvents/AttachedEvent.h"

#include <vector>

namespace FB {

namespace {

// Whatever a sink does with its source, a source owned by a shared pointer
// outlives the call it is in. A source that no shared pointer owns, or one
// being destroyed, is not kept.
boost::shared_ptr<PluginEventSource> keepAlive(PluginEventSource& source) {
    return source.weak_from_this().lock();
}

} // namespace

void PluginEventSource::AttachObserver(PluginEventSink* sink) {
    AttachObserver(sink ? sink->shared_from_this() : PluginEventSinkPtr());
}

void PluginEventSource::AttachObserver(PluginEventSinkPtr sink) {
    if (!sink) {
        return;
    }
    const boost::shared_ptr<PluginEventSource> self = keepAlive(*this);
    {
        boost::recursive_mutex::scoped_lock lock(m_observerLock);
        m_observers.push_back(sink);
    }
    AttachedEvent evt;
    sink->HandleEvent(&evt, this);
}

void PluginEventSource::DetachObserver(PluginEventSink* sink) {
    DetachObserver(sink ? sink->shared_from_this() : PluginEventSinkPtr());
}

void PluginEventSource::DetachObserver(PluginEventSinkPtr sink) {
    const boost::shared_ptr<PluginEventSource> self = keepAlive(*this);
    std::vector<PluginEventSinkPtr> detached;
    {
        boost::recursive_mutex::scoped_lock lock(m_observerLock);
        for (ObserverList::iterator entry = m_observers.begin(); entry != m_observers.end();) {
            const PluginEventSinkPtr live = entry->lock();
            if (live && live != sink) {
                ++entry;
                continue;
            }
            if (live) {
                detached.push_back(live);
            }
            entry = m_observers.erase(entry);
        }
    }
    DetachedEvent evt;
    for (const PluginEventSinkPtr& observer : detached) {
        observer->HandleEvent(&evt, this);
    }
}

bool PluginEventSource::SendEvent(PluginEvent* evt) {
    const boost::shared_ptr<PluginEventSource> self = keepAlive(*this);
    ObserverList observers;
    {
        boost::recursive_mutex::scoped_lock lock(m_observerLock);
        observers = m_observers;
    }
    for (const PluginEventSinkWeakPtr& entry : observers) {
        const PluginEventSinkPtr observer = entry.lock();
        if (observer && observer->HandleEvent(evt, this)) {
            return true;
        }
    }
    return false;
}

} // namespace FB
