#include "JSAPIImpl.h"

#include "JSEvent.h"
#include "JSExceptions.h"
#include "JSObject.h"
#include "utf8_tools.h"

#include <algorithm>
#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <cassert>
#include <exception>
#include <set>
#include <stdexcept>
#include <utility>

namespace FB {

typedef boost::recursive_mutex::scoped_lock ZoneLock;
typedef boost::recursive_mutex::scoped_lock EventLock;
typedef boost::recursive_mutex::scoped_lock ProxyLock;
typedef boost::shared_ptr<JSAPIImpl> JSAPIImplPtr;

namespace {

VariantList proxyProcessList(const VariantList& args, const JSAPIImplPtr& self,
                             const JSAPIImplPtr& proxy);
VariantMap proxyProcessMap(const VariantMap& members, const JSAPIImplPtr& self,
                           const JSAPIImplPtr& proxy);

// A reference to the firing object becomes one to the proxy; lists and maps
// are rewritten element by element. Page objects, page arrays included, are
// never expanded.
variant proxyProcessValue(const variant& value, const JSAPIImplPtr& self,
                          const JSAPIImplPtr& proxy) {
    if (value.is_of_type<JSAPIPtr>() && value.cast<JSAPIPtr>() == self) {
        return variant(JSAPIPtr(proxy));
    }
    if (value.is_of_type<VariantList>()) {
        return variant(proxyProcessList(value.cast<VariantList>(), self, proxy));
    }
    if (value.is_of_type<VariantMap>()) {
        return variant(proxyProcessMap(value.cast<VariantMap>(), self, proxy));
    }
    return value;
}

VariantList proxyProcessList(const VariantList& args, const JSAPIImplPtr& self,
                             const JSAPIImplPtr& proxy) {
    VariantList result;
    result.reserve(args.size());
    for (const variant& value : args) {
        result.push_back(proxyProcessValue(value, self, proxy));
    }
    return result;
}

VariantMap proxyProcessMap(const VariantMap& members, const JSAPIImplPtr& self,
                           const JSAPIImplPtr& proxy) {
    VariantMap result;
    for (const auto& member : members) {
        result.emplace(member.first, proxyProcessValue(member.second, self, proxy));
    }
    return result;
}

// One listener or proxy that cannot take the event (its host is gone, its
// page call fails) must not keep the event from the others, nor fail the
// code that fired it.
template <class Delivery> void deliverSafely(const Delivery& delivery) {
    try {
        delivery();
    } catch (const std::exception&) {
    }
}

// The objects forwarding an event to their proxies on this thread, each with
// the event's name. A proxy forwarding the same event is part of a proxy
// cycle and has it already; one forwarding another event may still be fired
// again from inside a proxy's delivery. Each scope lives in its caller's
// frame and links to the one it nests in; the thread's record is a plain
// pointer, which needs no destructor at thread exit.
class ForwardingScope : private boost::noncopyable {
public:
    ForwardingScope(const JSAPIImpl* object, const std::string& name)
        : m_object(object), m_name(name), m_outer(s_innermost) {
        s_innermost = this;
    }
    ~ForwardingScope() { s_innermost = m_outer; }

    static bool forwarding(const JSAPIImpl* object, const std::string& name) {
        for (const ForwardingScope* scope = s_innermost; scope; scope = scope->m_outer) {
            if (scope->m_object == object && scope->m_name == name) {
                return true;
            }
        }
        return false;
    }

private:
    const JSAPIImpl* const m_object;
    // The name lives in the caller's frame for as long as the scope does.
    const std::string& m_name;
    const ForwardingScope* const m_outer;

    static thread_local const ForwardingScope* s_innermost;
};

thread_local const ForwardingScope* ForwardingScope::s_innermost = nullptr;

// Handlers of one context: the first valid one that supports optimized calls
// before any other valid one takes them all, with the context's interfaces,
// in one call; otherwise each valid handler is called by itself. Returns
// whether the optimized call served the context.
bool deliverToHandlers(const std::string& name, const VariantList& args,
                       const std::vector<JSObjectPtr>& handlers,
                       const std::vector<JSObjectPtr>& interfaces) {
    bool first = true;
    for (const JSObjectPtr& handler : handlers) {
        if (!handler->isValid()) {
            continue;
        }
        if (first && handler->supportsOptimizedCalls()) {
            deliverSafely(
                [&] { handler->callMultipleFunctions(name, args, handlers, interfaces); });
            return true;
        }
        first = false;
        deliverSafely([&] { handler->InvokeAsync("", args); });
    }
    return false;
}

// Interfaces of one context not served with its handlers. The first valid
// one that supports optimized calls takes itself and those after it in one
// call; those before it were each called already and are not handed over.
void deliverToInterfaces(const std::string& name, const VariantList& args,
                         const std::vector<JSObjectPtr>& interfaces) {
    for (auto iface = interfaces.begin(); iface != interfaces.end(); ++iface) {
        const JSObjectPtr& target = *iface;
        if (target->isValid() && target->supportsOptimizedCalls()) {
            const std::vector<JSObjectPtr> remaining(iface, interfaces.end());
            deliverSafely([&] {
                target->callMultipleFunctions(name, args, std::vector<JSObjectPtr>(), remaining);
            });
            return;
        }
        deliverSafely([&] { target->InvokeAsync(name, args); });
    }
}

const std::vector<JSObjectPtr>&
listenersIn(const std::map<void*, std::vector<JSObjectPtr>>& byContext, void* context) {
    static const std::vector<JSObjectPtr> none;
    const auto found = byContext.find(context);
    return found == byContext.end() ? none : found->second;
}

// The event context under which a page object is filed. A null page object
// is refused before any table is touched.
void* eventContextOf(const JSObjectPtr& object) {
    if (!object) {
        throw invalid_arguments();
    }
    return object->getEventContext();
}

// The handler of name in handlers that stands for the page object with the
// given event identity. Called under the event mutex: the identities of
// registered handlers were read, and cached by the page object, when they
// were registered.
std::multimap<std::string, JSObjectPtr>::iterator
findHandler(std::multimap<std::string, JSObjectPtr>& handlers, const std::string& name,
            void* eventId) {
    const auto range = handlers.equal_range(name);
    for (auto handler = range.first; handler != range.second; ++handler) {
        if (handler->second->getEventId() == eventId) {
            return handler;
        }
    }
    return handlers.end();
}

} // namespace

JSAPIImpl::JSAPIImpl() : JSAPIImpl(0) {}

JSAPIImpl::JSAPIImpl(const int& zone) : m_zoneStack(1, zone), m_valid(true) {
    registerEvent(std::string("onload"));
}

void JSAPIImpl::invalidate() {
    m_valid = false;
}

void JSAPIImpl::pushZone(const int& zone) {
    m_zoneMutex.lock();
    m_zoneStack.push_back(zone);
}

// Every entry above the default one was pushed by the thread that holds the
// mutex, one lock level each. A thread that cannot take the mutex therefore
// pushed nothing, and a stack holding only the default entry has nothing to
// pop: both are refused before the stack or the mutex changes.
void JSAPIImpl::popZone() {
    if (!m_zoneMutex.try_lock()) {
        throw std::runtime_error("popZone without a pushZone on this thread");
    }
    ZoneLock probe(m_zoneMutex, boost::adopt_lock);
    if (m_zoneStack.size() < 2) {
        throw std::runtime_error("popZone would remove the default zone");
    }
    m_zoneStack.pop_back();
    m_zoneMutex.unlock();
}

void JSAPIImpl::setDefaultZone(const int& zone) {
    ZoneLock lock(m_zoneMutex);
    assert(!m_zoneStack.empty());
    m_zoneStack.front() = zone;
}

int JSAPIImpl::getDefaultZone() const {
    ZoneLock lock(m_zoneMutex);
    assert(!m_zoneStack.empty());
    return m_zoneStack.front();
}

int JSAPIImpl::getZone() const {
    ZoneLock lock(m_zoneMutex);
    assert(!m_zoneStack.empty());
    return m_zoneStack.back();
}

boost::shared_ptr<JSAPIImpl> JSAPIImpl::shared_from_this() {
    return boost::static_pointer_cast<JSAPIImpl>(
        boost::enable_shared_from_this<JSAPI>::shared_from_this());
}

// --- Registration -----------------------------------------------------------

// The page object is asked for its keys before the event mutex is taken:
// the mutex is never held while a new page object is called.
void JSAPIImpl::registerEventMethod(const std::string& name, JSObjectPtr& handler) {
    void* const context = eventContextOf(handler);
    void* const eventId = handler->getEventId();
    EventLock lock(m_eventMutex);
    EventHandlers& handlers = m_eventHandlers[context];
    if (findHandler(handlers, name, eventId) == handlers.end()) {
        handlers.emplace(name, handler);
    }
}

void JSAPIImpl::registerEventMethod(const std::wstring& name, JSObjectPtr& handler) {
    registerEventMethod(wstring_to_utf8(name), handler);
}

void JSAPIImpl::unregisterEventMethod(const std::string& name, JSObjectPtr& handler) {
    void* const context = eventContextOf(handler);
    void* const eventId = handler->getEventId();
    EventLock lock(m_eventMutex);
    const auto handlers = m_eventHandlers.find(context);
    if (handlers == m_eventHandlers.end()) {
        return;
    }
    const auto registered = findHandler(handlers->second, name, eventId);
    if (registered != handlers->second.end()) {
        handlers->second.erase(registered);
    }
}

void JSAPIImpl::unregisterEventMethod(const std::wstring& name, JSObjectPtr& handler) {
    unregisterEventMethod(wstring_to_utf8(name), handler);
}

void JSAPIImpl::registerEventInterface(const JSObjectPtr& iface) {
    void* const context = eventContextOf(iface);
    EventLock lock(m_eventMutex);
    m_eventInterfaces[context][iface.get()] = iface;
}

void JSAPIImpl::unregisterEventInterface(const JSObjectPtr& iface) {
    void* const context = eventContextOf(iface);
    EventLock lock(m_eventMutex);
    const auto interfaces = m_eventInterfaces.find(context);
    if (interfaces != m_eventInterfaces.end()) {
        interfaces->second.erase(iface.get());
    }
}

void JSAPIImpl::registerEvent(const std::string& /*name*/) {}

void JSAPIImpl::registerEvent(const std::wstring& name) {
    registerEvent(wstring_to_utf8(name));
}

void JSAPIImpl::registerProxy(const boost::weak_ptr<JSAPIImpl>& proxy) const {
    ProxyLock lock(m_proxyMutex);
    m_proxies.push_back(proxy);
}

void JSAPIImpl::unregisterProxy(const boost::shared_ptr<JSAPIImpl>& proxy) const {
    removeProxy(proxy);
}

// Removes every entry of proxy, and every entry whose object died; an empty
// proxy removes only the dead ones.
void JSAPIImpl::removeProxy(const boost::shared_ptr<JSAPIImpl>& proxy) const {
    ProxyLock lock(m_proxyMutex);
    m_proxies.erase(std::remove_if(m_proxies.begin(), m_proxies.end(),
                                   [&proxy](const boost::weak_ptr<JSAPIImpl>& entry) {
                                       const JSAPIImplPtr live = entry.lock();
                                       return !live || live == proxy;
                                   }),
                    m_proxies.end());
}

// --- Firing -----------------------------------------------------------------

void JSAPIImpl::FireEvent(const std::wstring& name, const VariantList& args) {
    FireEvent(wstring_to_utf8(name), args);
}

void JSAPIImpl::FireEvent(const std::string& name, const VariantList& args) {
    if (!m_valid) {
        return;
    }
    forwardToProxies(name, [&](const JSAPIImplPtr& self, const JSAPIImplPtr& proxy) {
        proxy->FireEvent(name, proxyProcessList(args, self, proxy));
    });
    deliverSafely([&] { fireAsyncEvent(name, args); });
}

void JSAPIImpl::FireJSEvent(const std::string& name, const VariantMap& members,
                            const VariantList& params) {
    if (!m_valid) {
        return;
    }
    forwardToProxies(name, [&](const JSAPIImplPtr& self, const JSAPIImplPtr& proxy) {
        proxy->FireJSEvent(name, proxyProcessMap(members, self, proxy),
                           proxyProcessList(params, self, proxy));
    });
    const VariantList event(1, variant(CreateEvent(shared_from_this(), name, members, params)));
    const EventListeners listeners = listenersOf(name);
    for (const auto& context : listeners.handlers) {
        for (const JSObjectPtr& handler : context.second) {
            deliverSafely([&] { handler->InvokeAsync("", event); });
        }
    }
    for (const auto& context : listeners.interfaces) {
        for (const JSObjectPtr& iface : context.second) {
            deliverSafely([&] { iface->InvokeAsync(name, event); });
        }
    }
}

void JSAPIImpl::FireJSEvent(const std::string& name, const VariantMap& members) {
    FireJSEvent(name, members, VariantList());
}

void JSAPIImpl::FireJSEvent(const std::string& name, const VariantList& params) {
    FireJSEvent(name, VariantMap(), params);
}

// Contexts in ascending order. A context whose handlers went out in one
// optimized call had its interfaces served with them.
void JSAPIImpl::fireAsyncEvent(const std::string& name, const VariantList& args) {
    const EventListeners listeners = listenersOf(name);
    std::set<EventKey> served;
    for (const auto& context : listeners.handlers) {
        if (deliverToHandlers(name, args, context.second,
                              listenersIn(listeners.interfaces, context.first))) {
            served.insert(context.first);
        }
    }
    for (const auto& context : listeners.interfaces) {
        if (!served.count(context.first)) {
            deliverToInterfaces(name, args, context.second);
        }
    }
}

// Copied under the event mutex and delivered after it is released, so that
// listeners may register or unregister, on any thread, during a delivery.
JSAPIImpl::EventListeners JSAPIImpl::listenersOf(const std::string& name) {
    EventListeners listeners;
    EventLock lock(m_eventMutex);
    for (const auto& context : m_eventHandlers) {
        const auto range = context.second.equal_range(name);
        for (auto handler = range.first; handler != range.second; ++handler) {
            listeners.handlers[context.first].push_back(handler->second);
        }
    }
    for (const auto& context : m_eventInterfaces) {
        std::vector<JSObjectPtr>& interfaces = listeners.interfaces[context.first];
        for (const auto& iface : context.second) {
            interfaces.push_back(iface.second);
        }
    }
    return listeners;
}

// The proxies are called on a copy of the list with no lock held, so that a
// proxy may register or unregister proxies, or fire this object again, on
// any thread; entries whose object died are pruned afterwards. A proxy that
// is forwarding the same event further up this thread's call chain is
// skipped, so a proxy cycle ends.
void JSAPIImpl::forwardToProxies(const std::string& name, const ProxyDelivery& deliver) {
    std::vector<boost::weak_ptr<JSAPIImpl>> proxies;
    {
        ProxyLock lock(m_proxyMutex);
        proxies = m_proxies;
    }
    if (proxies.empty()) {
        return;
    }
    const JSAPIImplPtr self = shared_from_this();
    {
        const ForwardingScope scope(this, name);
        for (const boost::weak_ptr<JSAPIImpl>& entry : proxies) {
            const JSAPIImplPtr proxy = entry.lock();
            if (proxy && !ForwardingScope::forwarding(proxy.get(), name)) {
                deliverSafely([&] { deliver(self, proxy); });
            }
        }
    }
    removeProxy(JSAPIImplPtr());
}

} // namespace FB
