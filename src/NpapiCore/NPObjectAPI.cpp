#include "NPObjectAPI.h"

#include "Assertion.h"
#include "JSExceptions.h"
#include "NPJavascriptObject.h"
#include "NpapiPluginModule.h"
#include "NpapiResources.h"
#include "NpapiTypes.h"
#include "logging.h"

#include <stdexcept>
#include <typeinfo>

namespace FB {
namespace Npapi {

const std::string NPObjectAPI::eventIdProperty = "__fb_event_id";
std::uint32_t NPObjectAPI::m_lastEventId = 0;
boost::mutex NPObjectAPI::m_lastEventId_mutex;

namespace {

// The positions in the arguments of the page's delayed-call helper.
const std::size_t helperDelay = 0;
const std::size_t helperFunction = 1;
const std::size_t helperArguments = 2;
const std::size_t helperMethodName = 3;

} // namespace

// The script object is looked up before the reference is taken, so that a
// failure leaves no reference behind.
NPObjectAPI::NPObjectAPI(NPObject* o, const NpapiBrowserHostPtr& host)
    : JSObject(host), m_browser(host), m_npObject(o), m_isJSAPI(false), m_eventId(0),
      m_module(nullptr) {
    checkAssertion(!m_browser.expired(), "!m_browser.expired()");
    m_module = &host->getModule();
    if (const JSAPIPtr inner = getJSAPI()) {
        m_isJSAPI = true;
        m_innerAPI = inner;
    }
    if (m_npObject) {
        host->RetainObject(m_npObject);
    }
}

NPObjectAPI::~NPObjectAPI() {
    if (!m_npObject) {
        return;
    }
    try {
        if (const NpapiBrowserHostPtr host = m_browser.lock()) {
            host->deferred_release(m_npObject);
        } else {
            NpapiPluginModule::deferredReleaseIfLive(m_module, m_npObject);
        }
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("A page object could not be released: ") + e.what());
    } catch (...) {
        FBLOG_WARN("NPAPI", "A page object could not be released");
    }
    m_npObject = nullptr;
}

NpapiBrowserHostPtr NPObjectAPI::getHost() const {
    return lockOrBadCast(m_browser);
}

JSAPIPtr NPObjectAPI::getJSAPI() const {
    if (m_npObject && NPJavascriptObject::isNPJavaScriptObject(m_npObject)) {
        return static_cast<NPJavascriptObject*>(m_npObject)->getAPI();
    }
    return JSAPIPtr();
}

JSAPIPtr NPObjectAPI::innerAPI() const {
    return m_isJSAPI ? m_innerAPI.lock() : JSAPIPtr();
}

void NPObjectAPI::invalidate() {
    m_innerAPI.reset();
}

bool NPObjectAPI::isValid() {
    return !m_browser.expired();
}

void* NPObjectAPI::getEventContext() const {
    const NpapiBrowserHostPtr host = m_browser.lock();
    return host ? host->getContextID() : nullptr;
}

// --- Named operations -----------------------------------------------------------

// The ladder of every named operation: the answer for a gone host; off the
// main thread, the same operation run there; the system's own script object
// directly (or the answer for a gone one); otherwise the browser.
template <class Result, class OwnCall, class BrowserCall>
Result NPObjectAPI::named(const Result& hostGone, const Result& ownGone, const OwnCall& own,
                          const BrowserCall& browser) const {
    const NpapiBrowserHostPtr host = m_browser.lock();
    if (!host) {
        return hostGone;
    }
    if (!host->isMainThread()) {
        return host->CallOnMainThread(
            [&]() -> Result { return named(hostGone, ownGone, own, browser); });
    }
    if (m_isJSAPI) {
        const JSAPIPtr api = m_innerAPI.lock();
        return api ? own(*api) : ownGone;
    }
    return browser(*host);
}

NPIdentifier NPObjectAPI::identifier(const NpapiBrowserHost& host, const std::string& name) const {
    return host.GetStringIdentifier(name.c_str());
}

void NPObjectAPI::enumerate(const NpapiBrowserHost& host,
                            const std::function<void(NPIdentifier*, std::uint32_t)>& use) const {
    BrowserMemory<NPIdentifier> ids(*m_module);
    std::uint32_t count = 0;
    if (!host.Enumerate(m_npObject, ids.out(), &count)) {
        ids.release();
        return;
    }
    use(ids.get(), count);
}

// The names replace the vector's contents, as for every script object; an
// index among the page object's members reads as its decimal text.
void NPObjectAPI::getMemberNames(std::vector<std::string>& names) const {
    named<bool>(
        false, false,
        [&](JSAPI& api) {
            api.getMemberNames(names);
            return true;
        },
        [&](NpapiBrowserHost& host) {
            names.clear();
            enumerate(host, [&](NPIdentifier* ids, std::uint32_t count) {
                for (std::uint32_t i = 0; i < count; ++i) {
                    names.push_back(host.IdentifierIsString(ids[i])
                                        ? host.StringFromIdentifier(ids[i])
                                        : std::to_string(host.IntFromIdentifier(ids[i])));
                }
            });
            return true;
        });
}

std::size_t NPObjectAPI::getMemberCount() const {
    return named<std::size_t>(
        0, 0, [](JSAPI& api) { return api.getMemberCount(); },
        [&](NpapiBrowserHost& host) {
            std::size_t members = 0;
            enumerate(host, [&](NPIdentifier*, std::uint32_t count) { members = count; });
            return members;
        });
}

bool NPObjectAPI::HasMethod(const std::string& name) const {
    return named<bool>(
        false, false, [&](JSAPI& api) { return api.HasMethod(name); },
        [&](NpapiBrowserHost& host) { return host.HasMethod(m_npObject, identifier(host, name)); });
}

bool NPObjectAPI::HasProperty(const std::string& name) const {
    return named<bool>(
        false, false, [&](JSAPI& api) { return api.HasProperty(name); },
        [&](NpapiBrowserHost& host) {
            return host.HasProperty(m_npObject, identifier(host, name));
        });
}

bool NPObjectAPI::HasProperty(int idx) const {
    return named<bool>(
        false, false, [&](JSAPI& api) { return api.HasProperty(idx); },
        [&](NpapiBrowserHost& host) {
            return host.HasProperty(m_npObject, host.GetIntIdentifier(idx));
        });
}

variant NPObjectAPI::GetProperty(const std::string& name) {
    return named<variant>(
        variant_detail::empty(), false, [&](JSAPI& api) { return api.GetProperty(name); },
        [&](NpapiBrowserHost& host) {
            NPVariantBlock result(*m_module, 1);
            if (!host.GetProperty(m_npObject, identifier(host, name), &result[0])) {
                throw script_error(name);
            }
            return host.getVariant(&result[0]);
        });
}

void NPObjectAPI::SetProperty(const std::string& name, const variant& value) {
    named<bool>(
        false, false,
        [&](JSAPI& api) {
            api.SetProperty(name, value);
            return true;
        },
        [&](NpapiBrowserHost& host) {
            NPVariantBlock converted(*m_module, 1);
            host.getNPVariant(&converted[0], value);
            if (!host.SetProperty(m_npObject, identifier(host, name), &converted[0])) {
                throw script_error(name);
            }
            return true;
        });
}

void NPObjectAPI::RemoveProperty(const std::string& name) {
    named<bool>(
        false, false,
        [&](JSAPI& api) {
            api.RemoveProperty(name);
            return true;
        },
        [&](NpapiBrowserHost& host) {
            if (!host.RemoveProperty(m_npObject, identifier(host, name))) {
                throw script_error(name);
            }
            return true;
        });
}

variant NPObjectAPI::Invoke(const std::string& name, const VariantList& args) {
    return named<variant>(
        false, false, [&](JSAPI& api) { return api.Invoke(name, args); },
        [&](NpapiBrowserHost&) { return call(name, args, false); });
}

variant NPObjectAPI::Construct(const VariantList& args) {
    return named<variant>(
        false, false, [&](JSAPI& api) { return api.Construct(args); },
        [&](NpapiBrowserHost&) { return call(std::string(), args, true); });
}

// The arguments go to the browser in one block; everything converted is
// released whatever the outcome.
variant NPObjectAPI::call(const std::string& name, const VariantList& args, bool construct) {
    const NpapiBrowserHostPtr host = getHost();
    NPVariantBlock argv(*m_module, args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        host->getNPVariant(&argv[i], args[i]);
    }
    NPVariantBlock result(*m_module, 1);
    bool done = false;
    if (construct) {
        done = host->Construct(m_npObject, argv.data(), argv.size(), &result[0]);
    } else if (name.empty()) {
        done = host->InvokeDefault(m_npObject, argv.data(), argv.size(), &result[0]);
    } else {
        done =
            host->Invoke(m_npObject, identifier(*host, name), argv.data(), argv.size(), &result[0]);
    }
    if (!done) {
        throw script_error(construct ? "constructor" : name);
    }
    return host->getVariant(&result[0]);
}

// --- Indexed operations ------------------------------------------------------------

variant NPObjectAPI::GetProperty(int idx) {
    if (m_browser.expired()) {
        return variant_detail::empty();
    }
    if (const JSAPIPtr api = innerAPI()) {
        return api->GetProperty(idx);
    }
    return GetProperty(std::to_string(idx));
}

void NPObjectAPI::SetProperty(int idx, const variant& value) {
    if (m_browser.expired()) {
        return;
    }
    if (const JSAPIPtr api = innerAPI()) {
        api->SetProperty(idx, value);
        return;
    }
    SetProperty(std::to_string(idx), value);
}

void NPObjectAPI::RemoveProperty(int idx) {
    if (m_browser.expired()) {
        return;
    }
    if (const JSAPIPtr api = innerAPI()) {
        api->RemoveProperty(idx);
        return;
    }
    RemoveProperty(std::to_string(idx));
}

// --- Events ------------------------------------------------------------------------------

void* NPObjectAPI::getEventId() {
    if (m_eventId != 0) {
        return reinterpret_cast<void*>(m_eventId.load());
    }
    if (!HasProperty(eventIdProperty)) {
        std::uint32_t id = 0;
        {
            boost::mutex::scoped_lock lock(m_lastEventId_mutex);
            id = ++m_lastEventId;
        }
        SetProperty(eventIdProperty, id);
    }
    try {
        m_eventId = GetProperty(eventIdProperty).convert_cast<std::uint32_t>();
    } catch (const std::bad_cast& e) {
        throw invalid_arguments(e.what());
    }
    return reinterpret_cast<void*>(m_eventId.load());
}

void NPObjectAPI::callMultipleFunctions(const std::string& name, const VariantList& args,
                                        const std::vector<JSObjectPtr>& direct,
                                        const std::vector<JSObjectPtr>& ifaces) {
    const NpapiBrowserHostPtr host = m_browser.lock();
    if (!host) {
        throw script_error("Error calling handlers");
    }
    if (!host->isMainThread()) {
        host->ScheduleOnMainThread(shared_from_this(), [this, name, args, direct, ifaces] {
            callMultipleFunctions(name, args, direct, ifaces);
        });
        return;
    }
    callHandlers(name, args, direct, ifaces);
}

// Main thread. The page's helper gets (0, handler, arguments) for a handler
// and (0, handler, arguments, event name) for an event interface; the
// arguments become one page array for all of them.
void NPObjectAPI::callHandlers(const std::string& name, const VariantList& args,
                               const std::vector<JSObjectPtr>& direct,
                               const std::vector<JSObjectPtr>& ifaces) {
    const NpapiBrowserHostPtr host = getHost();
    NPObjectAPIPtr helper;
    try {
        helper = ptr_cast<NPObjectAPI>(host->getDelayedInvokeDelegate());
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("No page helper for events: ") + e.what());
    }
    if (!helper) {
        throw script_error("Error calling handlers (delegate disappeared)");
    }
    NPVariantBlock helperArgs(*m_module, 4);
    host->getNPVariant(&helperArgs[helperDelay], 0);
    host->getNPVariant(&helperArgs[helperArguments], args);
    host->getNPVariant(&helperArgs[helperMethodName], name);
    for (const JSObjectPtr& handler : direct) {
        callHandler(*host, helper->getNPObject(), handler, std::string(), args, helperArgs, 3);
    }
    for (const JSObjectPtr& iface : ifaces) {
        callHandler(*host, helper->getNPObject(), iface, name, args, helperArgs, 4);
    }
}

// The system's own script object runs at once; a page handler is handed to
// the helper. A failure ends with this handler.
void NPObjectAPI::callHandler(NpapiBrowserHost& host, NPObject* helper, const JSObjectPtr& handler,
                              const std::string& name, const VariantList& args,
                              NPVariantBlock& helperArgs, std::uint32_t helperArgCount) {
    try {
        const NPObjectAPIPtr page = ptr_cast<NPObjectAPI>(handler);
        if (const JSAPIPtr own = page ? page->innerAPI() : JSAPIPtr()) {
            own->Invoke(name, args);
            return;
        }
        host.getNPVariant(&helperArgs[helperFunction], handler);
        NPVariantBlock result(*m_module, 1);
        host.InvokeDefault(helper, helperArgs.data(), helperArgCount, &result[0]);
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("An event handler failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("NPAPI", "An event handler failed");
    }
    helperArgs.release(helperFunction);
}

} // namespace Npapi
} // namespace FB
