#pragma once

// FB::JSAPIImpl: the concrete base of every native script object. It adds a
// validity flag, a stack of security zones guarded by a recursive mutex that
// a thread holds from pushZone to the matching popZone, and the events: page
// handlers and event interfaces filed per event context, proxies that re-fire
// this object's events as their own, and the firing itself. Listeners are
// never run synchronously: each delivery asks the page object to run them
// later from the main thread.

#include "APITypes.h"
#include "JSAPI.h"

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>
#include <deque>
#include <functional>
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

    // A handler is filed under its event context and called as a function;
    // the same page function (by event identity) is kept once per context
    // and name. A null handler raises FB::invalid_arguments.
    void registerEventMethod(const std::string& name, JSObjectPtr& handler) override;
    void registerEventMethod(const std::wstring& name, JSObjectPtr& handler) override;
    void unregisterEventMethod(const std::string& name, JSObjectPtr& handler) override;
    void unregisterEventMethod(const std::wstring& name, JSObjectPtr& handler) override;
    // An event interface receives every event as a call of its method named
    // after the event. A null interface raises FB::invalid_arguments.
    void registerEventInterface(const JSObjectPtr& iface) override;
    void unregisterEventInterface(const JSObjectPtr& iface) override;

    // Delivers args to the handlers and interfaces, whether or not the
    // object is valid, and not to proxies. A listener that cannot take the
    // event is skipped and the others still get it.
    virtual void fireAsyncEvent(const std::string& name, const VariantList& args);
    // Forwards to the proxies, then delivers; an invalidated object fires
    // nothing. No exception of the delivery reaches the caller.
    virtual void FireEvent(const std::wstring& name, const VariantList& args);
    virtual void FireEvent(const std::string& name, const VariantList& args);
    // Forwards to the proxies, then hands every handler and interface one
    // argument, the event object built by FB::CreateEvent.
    virtual void FireJSEvent(const std::string& name, const VariantMap& members,
                             const VariantList& params);
    virtual void FireJSEvent(const std::string& name, const VariantMap& members);
    virtual void FireJSEvent(const std::string& name, const VariantList& params);
    // Declares an event the object fires; delivery does not depend on it.
    virtual void registerEvent(const std::string& name);
    virtual void registerEvent(const std::wstring& name);
    // A proxy is held weakly and gets each event with every reference to
    // this object, also inside nested lists and maps, replaced by itself.
    virtual void registerProxy(const boost::weak_ptr<JSAPIImpl>& proxy) const;
    // Removes every entry of the proxy and every dead one.
    virtual void unregisterProxy(const boost::shared_ptr<JSAPIImpl>& proxy) const;

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

private:
    typedef std::map<EventKey, std::vector<JSObjectPtr>> ListenersByContext;

    // The listeners of one event, copied from the tables: per context, the
    // handlers in registration order and the interfaces in address order.
    struct EventListeners {
        ListenersByContext handlers;
        ListenersByContext interfaces;
    };

    typedef std::function<void(const boost::shared_ptr<JSAPIImpl>& self,
                               const boost::shared_ptr<JSAPIImpl>& proxy)>
        ProxyDelivery;

    EventListeners listenersOf(const std::string& name);
    void forwardToProxies(const std::string& name, const ProxyDelivery& deliver);
    void removeProxy(const boost::shared_ptr<JSAPIImpl>& proxy) const;
};

} // namespace FB
