#include "NPJavascriptObject.h"

#include "JSExceptions.h"
#include "JSObject.h"
#include "NpapiPluginModule.h"
#include "NpapiResources.h"
#include "NpapiTypes.h"
#include "logging.h"

#include <boost/make_shared.hpp>
#include <cstddef>
#include <limits>
#include <new>
#include <string.h>
#include <string>
#include <typeinfo>
#include <vector>

namespace FB {
namespace Npapi {

namespace {

const char* const addEventListenerName = "addEventListener";
const char* const removeEventListenerName = "removeEventListener";
const char* const getLastExceptionName = "getLastException";
const char* const toStringName = "toString";

bool isBuiltInName(const std::string& name) {
    return name == addEventListenerName || name == removeEventListenerName ||
           name == getLastExceptionName;
}

NPJavascriptObject* fromNPObject(NPObject* obj) {
    return static_cast<NPJavascriptObject*>(obj);
}

// Overwrites a text the variant holds, inline buffer included, with a store
// the compiler cannot drop, and empties it.
void wipeText(variant& value) noexcept {
    std::string* const text = value.held_ptr<std::string>();
    if (!text) {
        return;
    }
    if (!text->empty()) {
        explicit_bzero(&(*text)[0], text->size());
    }
    text->clear();
}

// Wipes the texts of the page's values for one call or property write when
// it goes, whichever way the call ends, so that the memory they give back
// keeps nothing the page passed (a PIN written whole, say). The values are
// the binding's own copies: what the script object returns or keeps is a
// copy of its own and is left alone.
class PageTextWipe {
public:
    explicit PageTextWipe(variant& value) : m_value(&value), m_list(nullptr) {}
    explicit PageTextWipe(VariantList& list) : m_value(nullptr), m_list(&list) {}
    ~PageTextWipe() {
        if (m_value) {
            wipeText(*m_value);
        }
        if (m_list) {
            for (variant& value : *m_list) {
                wipeText(value);
            }
        }
    }
    PageTextWipe(const PageTextWipe&) = delete;
    PageTextWipe& operator=(const PageTextWipe&) = delete;

private:
    variant* m_value;
    VariantList* m_list;
};

} // namespace

NPClass NPJavascriptObject::NPJavascriptObjectClass = {NP_CLASS_STRUCT_VERSION,
                                                       &NPJavascriptObject::_Allocate,
                                                       &NPJavascriptObject::_Deallocate,
                                                       &NPJavascriptObject::_Invalidate,
                                                       &NPJavascriptObject::_HasMethod,
                                                       &NPJavascriptObject::_Invoke,
                                                       &NPJavascriptObject::_InvokeDefault,
                                                       &NPJavascriptObject::_HasProperty,
                                                       &NPJavascriptObject::_GetProperty,
                                                       &NPJavascriptObject::_SetProperty,
                                                       &NPJavascriptObject::_RemoveProperty,
                                                       &NPJavascriptObject::_Enumeration,
                                                       &NPJavascriptObject::_Construct};

// --- Life --------------------------------------------------------------------

NPJavascriptObject::NPJavascriptObject(NPP)
    : m_valid(true), m_autoRelease(false),
      m_sharedRef(boost::make_shared<ShareableReference<NPJavascriptObject>>(this)) {}

// The browser deallocates the object; nothing may leave towards it.
NPJavascriptObject::~NPJavascriptObject() {
    try {
        if (!m_autoRelease) {
            return;
        }
        const NpapiBrowserHostPtr host = m_browser.lock();
        const JSAPIPtr api = m_api.lock();
        if (host && api) {
            host->releaseJSAPIPtr(api);
        }
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("Releasing a script object failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("NPAPI", "Releasing a script object failed");
    }
}

NPJavascriptObject* NPJavascriptObject::NewObject(const NpapiBrowserHostPtr& host,
                                                  const boost::weak_ptr<JSAPI>& api,
                                                  bool autoRelease) {
    NPObjectReference created(host->getModule(), host->CreateObject(&NPJavascriptObjectClass));
    if (!created.get()) {
        return nullptr;
    }
    NPJavascriptObject* const obj = fromNPObject(created.get());
    obj->setAPI(api, host);
    obj->m_autoRelease = autoRelease;
    if (const JSAPIPtr retained = autoRelease ? api.lock() : JSAPIPtr()) {
        host->retainJSAPIPtr(retained);
    }
    created.release();
    return obj;
}

bool NPJavascriptObject::isNPJavaScriptObject(const NPObject* npo) {
    return npo->_class == &NPJavascriptObjectClass;
}

void NPJavascriptObject::setAPI(const boost::weak_ptr<JSAPI>& api,
                                const NpapiBrowserHostPtr& host) {
    m_api = api;
    m_browser = host;
}

JSAPIPtr NPJavascriptObject::getAPI() const {
    return lockOrBadCast(m_api);
}

NpapiBrowserHostPtr NPJavascriptObject::getHost() {
    if (m_browser.expired()) {
        Invalidate();
    }
    return lockOrBadCast(m_browser);
}

bool NPJavascriptObject::isValid() const {
    return m_valid && !m_api.expired() && !m_browser.expired();
}

bool NPJavascriptObject::isBoundTo(const JSAPIPtr& api) const {
    return m_api.lock() == api;
}

// --- Callbacks ------------------------------------------------------------------

template <class Body> bool NPJavascriptObject::guarded(const Body& body) {
    const EntryFrame frame;
    if (!isValid()) {
        return false;
    }
    try {
        body();
        return true;
    } catch (const std::bad_cast&) {
    } catch (const script_error& e) {
        reportScriptError(e.what());
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("Script call failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("NPAPI", "Script call failed");
    }
    return false;
}

void NPJavascriptObject::reportScriptError(const char* message) {
    if (const NpapiBrowserHostPtr host = m_browser.lock()) {
        host->SetException(this, message);
        host->setLastException(message);
    }
}

void NPJavascriptObject::Invalidate() {
    m_valid = false;
    try {
        if (const JSAPIPtr api = m_api.lock()) {
            api->invalidate();
        }
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("Invalidating a script object failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("NPAPI", "Invalidating a script object failed");
    }
}

// A method that the script object also offers as a function object is a
// property for the page.
bool NPJavascriptObject::HasMethod(NPIdentifier name) {
    bool answer = false;
    return guarded([&] {
               const std::string text = getHost()->StringFromIdentifier(name);
               if (text == toStringName) {
                   answer = true;
                   return;
               }
               const JSAPIPtr api = getAPI();
               answer = !api->HasMethodObject(text) && api->HasMethod(text);
           }) &&
           answer;
}

void NPJavascriptObject::convertArguments(NpapiBrowserHost& host, const NPVariant* args,
                                          std::uint32_t argCount, VariantList& list) const {
    list.reserve(argCount);
    for (std::uint32_t i = 0; i < argCount; ++i) {
        list.push_back(host.getVariant(&args[i]));
    }
}

bool NPJavascriptObject::Invoke(NPIdentifier name, const NPVariant* args, std::uint32_t argCount,
                                NPVariant* result) {
    NPVariantBlock::clear(*result);
    return guarded([&] {
        const NpapiBrowserHostPtr host = getHost();
        const std::string text = name ? host->StringFromIdentifier(name) : std::string();
        VariantList list;
        const PageTextWipe wipe(list);
        convertArguments(*host, args, argCount, list);
        host->getNPVariant(result, getAPI()->Invoke(text, list));
    });
}

bool NPJavascriptObject::InvokeDefault(const NPVariant* args, std::uint32_t argCount,
                                       NPVariant* result) {
    return Invoke(nullptr, args, argCount, result);
}

bool NPJavascriptObject::HasProperty(NPIdentifier name) {
    bool answer = false;
    return guarded([&] {
               const NpapiBrowserHostPtr host = getHost();
               if (!host->IdentifierIsString(name)) {
                   answer = getAPI()->HasProperty(host->IntFromIdentifier(name));
                   return;
               }
               const std::string text = host->StringFromIdentifier(name);
               if (isBuiltInName(text)) {
                   answer = true;
               } else if (text != toStringName && getAPI()->HasMethodObject(text)) {
                   answer = true;
               } else {
                   answer = !HasMethod(name) && getAPI()->HasProperty(text);
               }
           }) &&
           answer;
}

// Made at the first read: most objects, such as the method object a page
// reads for one call, are never asked for their built-in members.
template <class Member>
JSAPIPtr NPJavascriptObject::builtInMember(boost::shared_ptr<Member>& member) {
    if (!member) {
        member = boost::make_shared<Member>(m_sharedRef);
    }
    return member;
}

variant NPJavascriptObject::propertyValue(NpapiBrowserHost& host, NPIdentifier name) {
    if (!host.IdentifierIsString(name)) {
        return getAPI()->GetProperty(host.IntFromIdentifier(name));
    }
    const std::string text = host.StringFromIdentifier(name);
    if (text == addEventListenerName) {
        return builtInMember(m_addEventFunc);
    }
    if (text == removeEventListenerName) {
        return builtInMember(m_removeEventFunc);
    }
    if (text == getLastExceptionName) {
        return builtInMember(m_getLastExceptionFunc);
    }
    const JSAPIPtr api = getAPI();
    if (api->HasMethodObject(text)) {
        return api->GetMethodObject(text);
    }
    return api->GetProperty(text);
}

bool NPJavascriptObject::GetProperty(NPIdentifier name, NPVariant* result) {
    return guarded([&] {
        const NpapiBrowserHostPtr host = getHost();
        host->getNPVariant(result, propertyValue(*host, name));
    });
}

bool NPJavascriptObject::SetProperty(NPIdentifier name, const NPVariant* value) {
    return guarded([&] {
        const NpapiBrowserHostPtr host = getHost();
        variant converted = host->getVariant(value);
        const PageTextWipe wipe(converted);
        if (!host->IdentifierIsString(name)) {
            getAPI()->SetProperty(host->IntFromIdentifier(name), converted);
            return;
        }
        const std::string text = host->StringFromIdentifier(name);
        if (getAPI()->HasMethodObject(text)) {
            throw script_error("This property cannot be changed");
        }
        getAPI()->SetProperty(text, converted);
    });
}

bool NPJavascriptObject::RemoveProperty(NPIdentifier name) {
    return guarded([&] {
        const NpapiBrowserHostPtr host = getHost();
        if (host->IdentifierIsString(name)) {
            getAPI()->RemoveProperty(host->StringFromIdentifier(name));
        } else {
            getAPI()->RemoveProperty(host->IntFromIdentifier(name));
        }
    });
}

// The member names and then the three built-in names, in a block of the
// browser's memory that the browser frees. The outputs are written only
// when the block could be had.
bool NPJavascriptObject::Enumeration(NPIdentifier** identifiers, std::uint32_t* count) {
    return guarded([&] {
        const NpapiBrowserHostPtr host = getHost();
        std::vector<std::string> names;
        getAPI()->getMemberNames(names);
        for (const char* builtIn :
             {addEventListenerName, removeEventListenerName, getLastExceptionName}) {
            names.push_back(builtIn);
        }
        if (names.size() > std::numeric_limits<std::uint32_t>::max() / sizeof(NPIdentifier)) {
            throw std::bad_alloc();
        }
        const std::uint32_t total = static_cast<std::uint32_t>(names.size());
        BrowserMemory<NPIdentifier> block(
            host->getModule(),
            static_cast<NPIdentifier*>(host->MemAlloc(total * sizeof(NPIdentifier))));
        if (!block.get()) {
            throw std::bad_alloc();
        }
        for (std::uint32_t i = 0; i < total; ++i) {
            block.get()[i] = host->GetStringIdentifier(names[i].c_str());
        }
        *count = total;
        *identifiers = block.release();
    });
}

bool NPJavascriptObject::Construct(const NPVariant* args, std::uint32_t argCount,
                                   NPVariant* result) {
    NPVariantBlock::clear(*result);
    return guarded([&] {
        const NpapiBrowserHostPtr host = getHost();
        VariantList list;
        const PageTextWipe wipe(list);
        convertArguments(*host, args, argCount, list);
        host->getNPVariant(result, getAPI()->Construct(list));
    });
}

// --- The class's entries: no exception reaches the browser. ------------------------

NPObject* NPJavascriptObject::_Allocate(NPP npp, NPClass*) {
    try {
        return new NPJavascriptObject(npp);
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("Could not make a scriptable object: ") + e.what());
        return nullptr;
    }
}

void NPJavascriptObject::_Deallocate(NPObject* obj) {
    delete fromNPObject(obj);
}

void NPJavascriptObject::_Invalidate(NPObject* obj) {
    fromNPObject(obj)->Invalidate();
}

bool NPJavascriptObject::_HasMethod(NPObject* obj, NPIdentifier name) {
    return fromNPObject(obj)->HasMethod(name);
}

bool NPJavascriptObject::_Invoke(NPObject* obj, NPIdentifier name, const NPVariant* args,
                                 std::uint32_t argCount, NPVariant* result) {
    return fromNPObject(obj)->Invoke(name, args, argCount, result);
}

bool NPJavascriptObject::_InvokeDefault(NPObject* obj, const NPVariant* args,
                                        std::uint32_t argCount, NPVariant* result) {
    return fromNPObject(obj)->InvokeDefault(args, argCount, result);
}

bool NPJavascriptObject::_HasProperty(NPObject* obj, NPIdentifier name) {
    return fromNPObject(obj)->HasProperty(name);
}

bool NPJavascriptObject::_GetProperty(NPObject* obj, NPIdentifier name, NPVariant* result) {
    return fromNPObject(obj)->GetProperty(name, result);
}

bool NPJavascriptObject::_SetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value) {
    return fromNPObject(obj)->SetProperty(name, value);
}

bool NPJavascriptObject::_RemoveProperty(NPObject* obj, NPIdentifier name) {
    return fromNPObject(obj)->RemoveProperty(name);
}

bool NPJavascriptObject::_Enumeration(NPObject* obj, NPIdentifier** identifiers,
                                      std::uint32_t* count) {
    return fromNPObject(obj)->Enumeration(identifiers, count);
}

bool NPJavascriptObject::_Construct(NPObject* obj, const NPVariant* args, std::uint32_t argCount,
                                    NPVariant* result) {
    return fromNPObject(obj)->Construct(args, argCount, result);
}

// --- Built-in members ---------------------------------------------------------------

NPJavascriptObject::BuiltInMember::BuiltInMember(const WeakReference& owner,
                                                 const std::string& name)
    : JSFunction(boost::weak_ptr<JSAPI>(), name, 0), m_obj(owner) {}

// Looked up anew for every call; calls run on the browser's main thread, which
// deallocates nothing while one runs.
NPJavascriptObject& NPJavascriptObject::BuiltInMember::liveOwner() const {
    const boost::shared_ptr<ShareableReference<NPJavascriptObject>> reference = m_obj.lock();
    if (!reference) {
        throw invalid_arguments();
    }
    return *reference->getPtr();
}

NPJavascriptObject& NPJavascriptObject::BuiltInMember::owner() const {
    NPJavascriptObject& obj = liveOwner();
    if (!obj.isValid()) {
        throw invalid_arguments();
    }
    return obj;
}

namespace {

typedef void (JSAPI::*ListenerChange)(const std::string&, JSObjectPtr&);

// Adds or removes a page function as a handler of the script object's event
// "on" + the first argument; the second argument is the function, a third is
// ignored.
variant changeListener(NPJavascriptObject& obj, const VariantList& args, ListenerChange change) {
    if (args.size() < 2 || args.size() > 3) {
        throw invalid_arguments();
    }
    try {
        const std::string event = "on" + args[0].convert_cast<std::string>();
        JSObjectPtr handler = args[1].convert_cast<JSObjectPtr>();
        (*obj.getAPI().*change)(event, handler);
    } catch (const std::bad_cast& e) {
        throw invalid_arguments(e.what());
    }
    return variant();
}

} // namespace

NPJavascriptObject::NPO_addEventListener::NPO_addEventListener(const WeakReference& owner)
    : BuiltInMember(owner, "attachEvent") {}

variant NPJavascriptObject::NPO_addEventListener::exec(const VariantList& args) {
    return changeListener(owner(), args, &JSAPI::registerEventMethod);
}

NPJavascriptObject::NPO_removeEventListener::NPO_removeEventListener(const WeakReference& owner)
    : BuiltInMember(owner, "detachEvent") {}

variant NPJavascriptObject::NPO_removeEventListener::exec(const VariantList& args) {
    return changeListener(owner(), args, &JSAPI::unregisterEventMethod);
}

NPJavascriptObject::NPO_getLastException::NPO_getLastException(const WeakReference& owner)
    : BuiltInMember(owner, "getLastException") {}

// Answers even for an owner that is no longer valid: the page asks for the
// text of the failure that may just have invalidated it.
variant NPJavascriptObject::NPO_getLastException::exec(const VariantList&) {
    return liveOwner().getHost()->getLastException();
}

} // namespace Npapi
} // namespace FB
