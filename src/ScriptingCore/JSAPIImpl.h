#pragma once

// FB::JSAPIImpl: the concrete base of every native script object. It adds a
// validity flag, a stack of security zones guarded by a recursive mutex that
// a thread holds from pushZone to the matching popZone, and the tables on
// which event handlers, event interfaces and proxies are kept.

#include "APITypes.h"
#include "JSAPI.h"

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace FB {

class JSAPIImpl : public JSAPI {
public:
    JSAPIImpl();
    explicit JSAPIImpl(const int& zone);

    // Later member operations fail; tables, proxies and zones stay as they are.
    void invalidate() override;

    // Locks the zone mutex and keeps it locked until the matching popZone.
    void pushZone(const int& zone) override;
    // Raises std::runtime_error, changing nothing, when this thread has no
    // pushed zone to remove.
    void popZone() override;
    void setDefaultZone(const int& zone) override;
    int getDefaultZone() const override;
    int getZone() const override;

    // Requires that the object is already owned by a shared pointer.
    boost::shared_ptr<JSAPIImpl> shared_from_this();

protected:
    // Event contexts, and page objects within a context, are keyed by opaque
    // pointer-sized values.
    typedef void* EventKey;
    typedef std::multimap<std::string, JSObjectPtr> EventHandlers;
    typedef std::map<EventKey, JSObjectPtr> EventInterfaces;

    // Page handlers per context and event name; guarded by m_eventMutex.
    std::map<EventKey, EventHandlers> m_eventHandlers;
    // Page objects receiving every event, per context; guarded by m_eventMutex.
    std::map<EventKey, EventInterfaces> m_eventInterfaces;
    // Objects re-firing this object's events; guarded by m_proxyMutex.
    mutable std::vector<boost::weak_ptr<JSAPIImpl>> m_proxies;

    boost::recursive_mutex m_eventMutex;
    mutable boost::recursive_mutex m_proxyMutex;
    // Guards m_zoneStack; member dispatch holds it for a whole operation.
    mutable boost::recursive_mutex m_zoneMutex;

    // Front: the default zone; back: the current zone. Never empty.
    std::deque<int> m_zoneStack;
    std::atomic<bool> m_valid;
};

} // namespace FB
