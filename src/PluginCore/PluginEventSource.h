#pragma once

// FB::PluginEventSource: something observable. It keeps its sinks weakly,
// in the order they attached, and offers each event to them in turn until
// one handles it. Sinks are called with no lock held, so a sink may attach,
// detach or send on its source, from any thread.

#include "PluginEventSink.h"

#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <list>

namespace FB {

class PluginEvent;

class PluginEventSource : public boost::enable_shared_from_this<PluginEventSource>,
                          private boost::noncopyable {
public:
    virtual ~PluginEventSource() = default;

    // Appends the sink and sends it an AttachedEvent. A sink attached twice
    // is offered every event twice. The raw-pointer form needs a sink owned
    // by a shared pointer (boost::bad_weak_ptr otherwise). An empty sink is
    // not attached.
    virtual void AttachObserver(PluginEventSink* sink);
    virtual void AttachObserver(PluginEventSinkPtr sink);
    // Removes every entry of the sink, and every expired entry, and sends
    // the sink one DetachedEvent per entry removed.
    virtual void DetachObserver(PluginEventSink* sink);
    virtual void DetachObserver(PluginEventSinkPtr sink);
    // Offers evt to the live sinks in attach order; true as soon as one
    // handles it. Sinks attached during the dispatch do not see evt. A
    // sink's exception ends the dispatch and passes to the caller.
    virtual bool SendEvent(PluginEvent* evt);

    // Whether the source is a T or derives from one.
    template <class T> bool validType() const { return dynamic_cast<const T*>(this) != nullptr; }
    // The source as a T; raises std::bad_cast when it is not one.
    template <class T> T* get_as() { return &dynamic_cast<T&>(*this); }

protected:
    typedef std::list<PluginEventSinkWeakPtr> ObserverList;

    ObserverList m_observers;
    boost::recursive_mutex m_observerLock;
};

} // namespace FB
