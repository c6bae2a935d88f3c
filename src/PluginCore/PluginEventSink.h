#pragma once

// FB::PluginEventSink: an observer of event sources. A sink is owned by a
// shared pointer and hands itself out as one; sources hold it weakly.

#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

namespace FB {

class PluginEvent;
class PluginEventSource;

class PluginEventSink : public boost::enable_shared_from_this<PluginEventSink>,
                        private boost::noncopyable {
public:
    virtual ~PluginEventSink() = default;

    // The sink's reaction to one event from source; true when it handled
    // the event, which ends that event's dispatch.
    virtual bool HandleEvent(PluginEvent* evt, PluginEventSource* source) = 0;
};

typedef boost::shared_ptr<PluginEventSink> PluginEventSinkPtr;
typedef boost::weak_ptr<PluginEventSink> PluginEventSinkWeakPtr;

} // namespace FB
