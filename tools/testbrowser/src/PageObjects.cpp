#include "PageObjects.h"

#include "ScriptText.h"

#include <testbrowser/Browser.h>
#include <testbrowser/Identifiers.h>

#include <duktape.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace testbrowser {

namespace {

const char* const kHeld = DUK_HIDDEN_SYMBOL("held");
const char* const kName = DUK_HIDDEN_SYMBOL("name");
const char* const kElement = DUK_HIDDEN_SYMBOL("element");

enum Trap { Get, Set, Has, DeleteProperty, OwnKeys, Apply, Construct, TrapCount };
const char* const kTrapNames[TrapCount] = {"get",     "set",   "has",      "deleteProperty",
                                           "ownKeys", "apply", "construct"};
const int kTrapArguments[TrapCount] = {3, 4, 2, 2, 1, 3, 3};

struct PageObject : NPObject {
    PageObjects* owner = nullptr;
    uint32_t stashKey = 0;
    void* heapPointer = nullptr;
};

PageObjects& objectsOf(duk_context* context) {
    duk_memory_functions functions;
    duk_get_memory_functions(context, &functions);
    return static_cast<Page*>(functions.udata)->objects();
}

PageObjects* ownerOf(NPObject* object) {
    return static_cast<PageObject*>(object)->owner;
}

// Duktape raises script errors with longjmp, so these entry points only
// throw after every C++ object of the call has gone.
duk_ret_t moduleTrapEntry(duk_context* context) {
    bool ok = objectsOf(context).moduleTrap(duk_get_current_magic(context));
    return ok ? 1 : duk_throw(context);
}

duk_ret_t elementTrapEntry(duk_context* context) {
    bool ok = objectsOf(context).elementTrap(duk_get_current_magic(context));
    return ok ? 1 : duk_throw(context);
}

duk_ret_t methodEntry(duk_context* context) {
    bool ok = objectsOf(context).callMethod();
    return ok ? 1 : duk_throw(context);
}

duk_ret_t finalizerEntry(duk_context* context) {
    objectsOf(context).finalizeRecord();
    return 0;
}

// The callable target of a module object's Proxy; the Proxy's traps stand in front of it.
duk_ret_t proxyTarget(duk_context*) {
    return 0;
}

// Safe calls share the caller's value stack frame, so these address their
// arguments from the top of the stack.
duk_ret_t safeGet(duk_context* context, void*) {
    duk_get_prop(context, -2);
    return 1;
}

duk_ret_t safePut(duk_context* context, void*) {
    duk_put_prop(context, -3);
    return 0;
}

duk_ret_t safeHas(duk_context* context, void*) {
    duk_push_boolean(context, duk_has_prop(context, -2));
    return 1;
}

duk_ret_t safeDelete(duk_context* context, void*) {
    duk_push_boolean(context, duk_del_prop(context, -2));
    return 1;
}

duk_ret_t safeKeys(duk_context* context, void*) {
    duk_get_global_string(context, "Object");
    duk_get_prop_string(context, -1, "keys");
    duk_dup(context, -3);
    duk_call(context, 1);
    return 1;
}

// A module object kept alive while the page works on it: page code that its
// NPClass functions call may destroy its instance, which lets go the page's
// own references to it.
class Retained {
public:
    Retained(Browser& browser, NPObject* object)
        : m_browser(browser),
          m_object(browser.isLiveObject(object) ? browser.retainObject(object) : nullptr) {}
    Retained(const Retained&) = delete;
    Retained& operator=(const Retained&) = delete;
    ~Retained() { m_browser.releaseObject(m_object); }

private:
    Browser& m_browser;
    NPObject* m_object;
};

template <class Call> bool guarded(Browser& browser, const char* where, Call call) {
    try {
        return call();
    } catch (...) {
        browser.boundaryFault(where);
        return false;
    }
}

NPObject* allocatePageObject(NPP, NPClass*) {
    return new PageObject;
}

void deallocatePageObject(NPObject* object) {
    if (PageObjects* owner = ownerOf(object))
        owner->forgetPageObject(object);
    delete static_cast<PageObject*>(object);
}

bool pageHasMethod(NPObject* object, NPIdentifier name) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->hasMethod(object, name);
}

bool pageInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                NPVariant* result) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->invoke(object, name, args, count, result);
}

bool pageInvokeDefault(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->invokeDefault(object, args, count, result);
}

bool pageHasProperty(NPObject* object, NPIdentifier name) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->hasProperty(object, name);
}

bool pageGetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->getProperty(object, name, result);
}

bool pageSetProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->setProperty(object, name, value);
}

bool pageRemoveProperty(NPObject* object, NPIdentifier name) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->removeProperty(object, name);
}

bool pageEnumerate(NPObject* object, NPIdentifier** names, uint32_t* count) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->enumerate(object, names, count);
}

bool pageConstruct(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    PageObjects* owner = ownerOf(object);
    return owner && owner->construct(object, args, count, result);
}

} // namespace

NPClass PageObjects::pageObjectClass = {NP_CLASS_STRUCT_VERSION,
                                        allocatePageObject,
                                        deallocatePageObject,
                                        nullptr,
                                        pageHasMethod,
                                        pageInvoke,
                                        pageInvokeDefault,
                                        pageHasProperty,
                                        pageGetProperty,
                                        pageSetProperty,
                                        pageRemoveProperty,
                                        pageEnumerate,
                                        pageConstruct};

PageObjects::PageObjects(Page& page, duk_context* context) : m_page(page), m_context(context) {}

Browser& PageObjects::browser() const {
    return m_page.browser();
}

bool PageObjects::isPageObject(const NPObject* object) {
    return object && object->_class == &pageObjectClass;
}

void PageObjects::installHandlers() {
    duk_context* ctx = m_context;
    duk_push_heap_stash(ctx);
    for (const char* handler : {"moduleHandler", "elementHandler"}) {
        bool module = std::strcmp(handler, "moduleHandler") == 0;
        duk_push_object(ctx);
        for (int trap = 0; trap < TrapCount; ++trap) {
            duk_push_c_function(ctx, module ? moduleTrapEntry : elementTrapEntry,
                                kTrapArguments[trap]);
            duk_set_magic(ctx, -1, trap);
            duk_put_prop_string(ctx, -2, kTrapNames[trap]);
        }
        duk_put_prop_string(ctx, -2, handler);
    }
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, "listedMark");
    duk_pop(ctx);
}

// ---- script values to NPVariants and back ----

void PageObjects::toVariant(duk_idx_t index, NPVariant& out) {
    duk_context* ctx = m_context;
    index = duk_normalize_index(ctx, index);
    std::memset(&out, 0, sizeof out);
    out.type = NPVariantType_Void;
    switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NULL:
        out.type = NPVariantType_Null;
        break;
    case DUK_TYPE_BOOLEAN:
        out.type = NPVariantType_Bool;
        out.value.boolValue = duk_get_boolean(ctx, index);
        break;
    case DUK_TYPE_NUMBER: {
        double number = duk_get_number(ctx, index);
        bool integral = std::trunc(number) == number && number >= INT32_MIN &&
                        number <= INT32_MAX && !(number == 0 && std::signbit(number));
        if (integral) {
            out.type = NPVariantType_Int32;
            out.value.intValue = static_cast<int32_t>(number);
        } else {
            out.type = NPVariantType_Double;
            out.value.doubleValue = number;
        }
        break;
    }
    case DUK_TYPE_STRING: {
        duk_size_t length = 0;
        const char* text = duk_get_lstring(ctx, index, &length);
        std::string utf8 = toUtf8(text, length);
        auto* copy = static_cast<char*>(browser().ledger().allocate(utf8.size() + 1));
        std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
        out.type = NPVariantType_String;
        out.value.stringValue = NPString{copy, static_cast<uint32_t>(utf8.size())};
        break;
    }
    case DUK_TYPE_OBJECT:
        if (duk_has_prop_string(ctx, index, kHeld)) {
            NPObject* held = heldObject(index);
            out.type = held ? NPVariantType_Object : NPVariantType_Null;
            out.value.objectValue = held ? browser().retainObject(held) : nullptr;
        } else {
            out.type = NPVariantType_Object;
            out.value.objectValue = wrap(index);
        }
        break;
    case DUK_TYPE_LIGHTFUNC:
        duk_dup(ctx, index);
        duk_to_object(ctx, -1);
        out.type = NPVariantType_Object;
        out.value.objectValue = wrap(-1);
        duk_pop(ctx);
        break;
    default:
        break;
    }
}

void PageObjects::push(const NPVariant& value) {
    duk_context* ctx = m_context;
    switch (value.type) {
    case NPVariantType_Null:
        duk_push_null(ctx);
        break;
    case NPVariantType_Bool:
        duk_push_boolean(ctx, value.value.boolValue);
        break;
    case NPVariantType_Int32:
        duk_push_int(ctx, value.value.intValue);
        break;
    case NPVariantType_Double:
        duk_push_number(ctx, value.value.doubleValue);
        break;
    case NPVariantType_String: {
        const NPString& text = value.value.stringValue;
        std::string cesu = toCesu(std::string(text.UTF8Characters ? text.UTF8Characters : "",
                                              text.UTF8Characters ? text.UTF8Length : 0));
        duk_push_lstring(ctx, cesu.data(), cesu.size());
        break;
    }
    case NPVariantType_Object:
        if (!value.value.objectValue)
            duk_push_null(ctx);
        else if (!isPageObject(value.value.objectValue))
            pushModuleObject(value.value.objectValue);
        else if (!pushStashed(value.value.objectValue))
            duk_push_undefined(ctx);
        break;
    default:
        duk_push_undefined(ctx);
        break;
    }
}

NPObject* PageObjects::wrap(duk_idx_t index) {
    duk_context* ctx = m_context;
    index = duk_normalize_index(ctx, index);
    void* heapPointer = duk_get_heapptr(ctx, index);
    auto known = m_pageObjects.find(heapPointer);
    if (known != m_pageObjects.end())
        return browser().retainObject(known->second);
    NPObject* object = browser().createObject(nullptr, &pageObjectClass);
    auto* pageObject = static_cast<PageObject*>(object);
    pageObject->owner = this;
    pageObject->stashKey = ++m_lastStashKey;
    pageObject->heapPointer = heapPointer;
    duk_push_heap_stash(ctx);
    duk_dup(ctx, index);
    duk_put_prop_index(ctx, -2, pageObject->stashKey);
    duk_pop(ctx);
    m_pageObjects[heapPointer] = object;
    return object;
}

bool PageObjects::pushStashed(NPObject* object) {
    auto* pageObject = static_cast<PageObject*>(object);
    if (pageObject->owner != this)
        return false;
    duk_push_heap_stash(m_context);
    duk_get_prop_index(m_context, -1, pageObject->stashKey);
    duk_remove(m_context, -2);
    return true;
}

void PageObjects::forgetPageObject(NPObject* object) {
    auto* pageObject = static_cast<PageObject*>(object);
    m_pageObjects.erase(pageObject->heapPointer);
    duk_push_heap_stash(m_context);
    duk_del_prop_index(m_context, -1, pageObject->stashKey);
    duk_pop(m_context);
    pageObject->owner = nullptr;
}

// ---- module objects held by the page ----

uint32_t PageObjects::hold(NPObject* object) {
    uint32_t id = ++m_lastHeld;
    m_held[id] = HeldObject{browser().retainObject(object), browser().objectOwner(object), true};
    return id;
}

NPObject* PageObjects::heldObject(duk_idx_t index) {
    duk_get_prop_string(m_context, index, kHeld);
    auto id = static_cast<uint32_t>(duk_get_uint(m_context, -1));
    duk_pop(m_context);
    auto found = m_held.find(id);
    return found != m_held.end() && found->second.held ? found->second.object : nullptr;
}

void PageObjects::finalizeRecord() {
    duk_get_prop_string(m_context, 0, kHeld);
    auto id = static_cast<uint32_t>(duk_get_uint(m_context, -1));
    duk_pop(m_context);
    auto found = m_held.find(id);
    if (found == m_held.end())
        return;
    HeldObject held = found->second;
    m_held.erase(found);
    if (held.held)
        browser().releaseObject(held.object);
}

void PageObjects::pushModuleObject(NPObject* object) {
    duk_context* ctx = m_context;
    uint32_t id = hold(object);
    duk_push_c_function(ctx, proxyTarget, DUK_VARARGS);
    duk_push_uint(ctx, id);
    duk_put_prop_string(ctx, -2, kHeld);
    duk_push_c_function(ctx, finalizerEntry, 2);
    duk_set_finalizer(ctx, -2);
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, "moduleHandler");
    duk_remove(ctx, -2);
    duk_push_proxy(ctx, 0);
    duk_push_uint(ctx, id);
    duk_put_prop_string(ctx, -2, kHeld);
}

void PageObjects::pushElementProxy(duk_idx_t elementIndex, PluginInstance& instance) {
    duk_context* ctx = m_context;
    elementIndex = duk_normalize_index(ctx, elementIndex);
    uint32_t id = ++m_lastElement;
    m_elements[id] = &instance;
    duk_dup(ctx, elementIndex);
    duk_push_uint(ctx, id);
    duk_put_prop_string(ctx, -2, kElement);
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, "elementHandler");
    duk_remove(ctx, -2);
    duk_push_proxy(ctx, 0);
}

void PageObjects::pushCallableTarget() {
    duk_push_c_function(m_context, proxyTarget, DUK_VARARGS);
}

PluginInstance* PageObjects::elementInstance(duk_idx_t elementIndex) {
    duk_get_prop_string(m_context, elementIndex, kElement);
    auto found = m_elements.find(static_cast<uint32_t>(duk_get_uint(m_context, -1)));
    duk_pop(m_context);
    return found != m_elements.end() ? found->second : nullptr;
}

void PageObjects::forgetInstance(NPP npp) {
    for (auto it = m_elements.begin(); it != m_elements.end();)
        it = it->second->npp() == npp ? m_elements.erase(it) : std::next(it);
    std::vector<uint32_t> ids;
    for (const auto& [id, held] : m_held)
        if (held.held && held.owner == npp)
            ids.push_back(id);
    for (uint32_t id : ids) {
        auto found = m_held.find(id);
        if (found == m_held.end() || !found->second.held)
            continue;
        found->second.held = false;
        browser().releaseObject(found->second.object);
    }
}

void PageObjects::detachAll() {
    m_elements.clear();
    std::vector<uint32_t> ids;
    for (const auto& entry : m_held)
        ids.push_back(entry.first);
    for (uint32_t id : ids) {
        auto found = m_held.find(id);
        if (found == m_held.end() || !found->second.held)
            continue;
        found->second.held = false;
        browser().releaseObject(found->second.object);
    }
    for (auto& entry : m_pageObjects)
        static_cast<PageObject*>(entry.second)->owner = nullptr;
    m_pageObjects.clear();
}

// ---- the traps of module objects and elements ----

void PageObjects::pushError(const std::string& message) {
    std::string cesu = toCesu(message);
    duk_push_error_object(m_context, DUK_ERR_ERROR, "%s", cesu.c_str());
}

bool PageObjects::usable(NPObject* object) {
    if (object && browser().isLiveObject(object) && !browser().isInvalidated(object))
        return true;
    pushError("The plug-in object is no longer valid");
    return false;
}

bool PageObjects::checkException(bool succeeded, const char* operation) {
    if (std::optional<std::string> message = browser().takeException()) {
        pushError(*message);
        return false;
    }
    if (!succeeded)
        pushError(std::string("The plug-in object refused ") + operation);
    return succeeded;
}

bool PageObjects::moduleHas(NPObject* object, NPIdentifier name) {
    NPClass* c = object->_class;
    return guarded(browser(), "NPClass hasMethod/hasProperty", [&] {
        return (c->hasMethod && c->hasMethod(object, name)) ||
               (c->hasProperty && c->hasProperty(object, name));
    });
}

bool PageObjects::moduleGet(NPObject* object, NPIdentifier name) {
    NPClass* c = object->_class;
    bool isMethod = guarded(browser(), "NPClass hasMethod",
                            [&] { return c->hasMethod && c->hasMethod(object, name); });
    if (isMethod) {
        duk_push_c_function(m_context, methodEntry, DUK_VARARGS);
        duk_push_uint(m_context, hold(object));
        duk_put_prop_string(m_context, -2, kHeld);
        duk_push_pointer(m_context, name);
        duk_put_prop_string(m_context, -2, kName);
        duk_push_c_function(m_context, finalizerEntry, 2);
        duk_set_finalizer(m_context, -2);
        return checkException(true, "hasMethod");
    }
    bool isProperty = guarded(browser(), "NPClass hasProperty",
                              [&] { return c->hasProperty && c->hasProperty(object, name); });
    if (!checkException(true, "hasProperty"))
        return false;
    if (!isProperty) {
        duk_push_undefined(m_context);
        return true;
    }
    NPVariant result;
    std::memset(&result, 0, sizeof result);
    bool ok = guarded(browser(), "NPClass getProperty",
                      [&] { return c->getProperty && c->getProperty(object, name, &result); });
    if (!checkException(ok, "getProperty"))
        return false;
    push(result);
    browser().releaseVariant(result);
    return true;
}

bool PageObjects::moduleSet(NPObject* object, NPIdentifier name, duk_idx_t value) {
    NPClass* c = object->_class;
    NPVariant variant;
    toVariant(value, variant);
    bool ok = guarded(browser(), "NPClass setProperty",
                      [&] { return c->setProperty && c->setProperty(object, name, &variant); });
    browser().releaseVariant(variant);
    if (!checkException(ok, "setProperty"))
        return false;
    duk_push_true(m_context);
    return true;
}

bool PageObjects::moduleDelete(NPObject* object, NPIdentifier name) {
    NPClass* c = object->_class;
    bool ok = guarded(browser(), "NPClass removeProperty",
                      [&] { return c->removeProperty && c->removeProperty(object, name); });
    if (!checkException(true, "removeProperty"))
        return false;
    duk_push_boolean(m_context, ok);
    return true;
}

bool PageObjects::moduleKeys(NPObject* object) {
    NPClass* c = object->_class;
    NPIdentifier* names = nullptr;
    uint32_t count = 0;
    bool ok = guarded(browser(), "NPClass enumerate", [&] {
        return c->structVersion >= NP_CLASS_STRUCT_VERSION_ENUM && c->enumerate &&
               c->enumerate(object, &names, &count);
    });
    duk_idx_t array = duk_push_array(m_context);
    for (uint32_t i = 0; ok && names && i < count; ++i) {
        std::string cesu = toCesu(identifiers::text(names[i]));
        duk_push_lstring(m_context, cesu.data(), cesu.size());
        duk_put_prop_index(m_context, array, i);
    }
    browser().ledger().free(names);
    if (!checkException(true, "enumerate")) {
        duk_remove(m_context, -2);
        return false;
    }
    markListed(0, array);
    return true;
}

// for-in and Object.keys keep only those of the trap's keys that the Proxy's
// target has as enumerable own properties, so each key the target lacks gets
// one there, holding the listed-key mark, which stands for nothing: an
// element's own members treat it as absent.
void PageObjects::markListed(duk_idx_t target, duk_idx_t keys) {
    duk_context* ctx = m_context;
    target = duk_normalize_index(ctx, target);
    keys = duk_normalize_index(ctx, keys);
    auto count = static_cast<duk_uarridx_t>(duk_get_length(ctx, keys));
    for (duk_uarridx_t i = 0; i < count; ++i) {
        duk_get_prop_index(ctx, keys, i);
        duk_dup_top(ctx);
        duk_get_prop_desc(ctx, target, 0);
        bool own = !duk_is_undefined(ctx, -1);
        duk_pop(ctx);
        if (own) {
            duk_pop(ctx);
            continue;
        }
        pushListedMark();
        duk_def_prop(ctx, target,
                     DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE |
                         DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE);
    }
}

bool PageObjects::isListedMark(duk_idx_t index) {
    index = duk_normalize_index(m_context, index);
    pushListedMark();
    bool mark = duk_strict_equals(m_context, index, -1);
    duk_pop(m_context);
    return mark;
}

void PageObjects::pushListedMark() {
    duk_push_heap_stash(m_context);
    duk_get_prop_string(m_context, -1, "listedMark");
    duk_remove(m_context, -2);
}

bool PageObjects::moduleCall(NPObject* object, duk_idx_t argsArray, bool construct) {
    NPClass* c = object->_class;
    auto count = static_cast<uint32_t>(duk_get_length(m_context, argsArray));
    std::vector<NPVariant> args(count);
    for (uint32_t i = 0; i < count; ++i) {
        duk_get_prop_index(m_context, argsArray, i);
        toVariant(-1, args[i]);
        duk_pop(m_context);
    }
    NPVariant result;
    std::memset(&result, 0, sizeof result);
    bool ok = guarded(browser(), construct ? "NPClass construct" : "NPClass invokeDefault", [&] {
        if (construct)
            return c->structVersion >= NP_CLASS_STRUCT_VERSION_CTOR && c->construct &&
                   c->construct(object, args.data(), count, &result);
        return c->invokeDefault && c->invokeDefault(object, args.data(), count, &result);
    });
    for (NPVariant& arg : args)
        browser().releaseVariant(arg);
    if (!checkException(ok, construct ? "construct" : "invokeDefault"))
        return false;
    push(result);
    browser().releaseVariant(result);
    return true;
}

bool PageObjects::moduleTrap(int trap) {
    duk_context* ctx = m_context;
    NPObject* object = heldObject(0);
    if (!usable(object))
        return false;
    const Retained kept(browser(), object);
    if (trap == OwnKeys)
        return moduleKeys(object);
    if (trap == Apply)
        return moduleCall(object, 2, false);
    if (trap == Construct)
        return moduleCall(object, 1, true);
    if (duk_is_symbol(ctx, 1)) {
        trap == Get ? duk_push_undefined(ctx) : duk_push_boolean(ctx, trap != Has);
        return true;
    }
    duk_size_t length = 0;
    const char* key = duk_get_lstring(ctx, 1, &length);
    NPIdentifier name = identifiers::fromPropertyKey(toUtf8(key, length));
    switch (trap) {
    case Get:
        return moduleGet(object, name);
    case Set:
        return moduleSet(object, name, 2);
    case Has: {
        bool has = moduleHas(object, name);
        if (!checkException(true, "hasProperty"))
            return false;
        duk_push_boolean(ctx, has);
        return true;
    }
    default:
        return moduleDelete(object, name);
    }
}

bool PageObjects::elementTrap(int trap) {
    duk_context* ctx = m_context;
    PluginInstance* instance = elementInstance(0);
    NPObject* object = instance ? instance->scriptableObject() : nullptr;
    const Retained kept(browser(), object);
    if (trap == Apply || trap == Construct) {
        if (!usable(object))
            return false;
        return moduleCall(object, trap == Apply ? 2 : 1, trap == Construct);
    }
    bool own = !object || duk_is_symbol(ctx, 1) || trap == OwnKeys;
    NPIdentifier name = nullptr;
    if (!own) {
        duk_size_t length = 0;
        const char* key = duk_get_lstring(ctx, 1, &length);
        name = identifiers::fromPropertyKey(toUtf8(key, length));
        own = !moduleHas(object, name);
        if (!checkException(true, "hasProperty"))
            return false;
    }
    if (trap == OwnKeys)
        return object && usable(object) ? moduleKeys(object) : (duk_push_array(ctx), true);
    if (!own && !usable(object))
        return false;
    switch (trap) {
    case Get:
        if (!own)
            return moduleGet(object, name);
        duk_dup(ctx, 1);
        duk_get_prop(ctx, 0);
        if (isListedMark(-1)) {
            duk_pop(ctx);
            duk_push_undefined(ctx);
        }
        return true;
    case Set:
        if (!own)
            return moduleSet(object, name, 2);
        duk_dup(ctx, 1);
        duk_dup(ctx, 2);
        duk_put_prop(ctx, 0);
        duk_push_true(ctx);
        return true;
    case Has: {
        if (!own) {
            duk_push_true(ctx);
            return true;
        }
        duk_dup(ctx, 1);
        duk_get_prop(ctx, 0);
        bool mark = isListedMark(-1);
        duk_pop(ctx);
        duk_push_boolean(ctx, !mark && duk_has_prop(ctx, 0));
        return true;
    }
    default:
        if (!own)
            return moduleDelete(object, name);
        duk_dup(ctx, 1);
        duk_push_boolean(ctx, duk_del_prop(ctx, 0));
        return true;
    }
}

bool PageObjects::callMethod() {
    duk_context* ctx = m_context;
    auto count = static_cast<uint32_t>(duk_get_top(ctx));
    duk_push_current_function(ctx);
    NPObject* object = heldObject(-1);
    duk_get_prop_string(ctx, -1, kName);
    auto name = static_cast<NPIdentifier>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    if (!usable(object))
        return false;
    const Retained kept(browser(), object);
    NPClass* c = object->_class;
    std::vector<NPVariant> args(count);
    for (uint32_t i = 0; i < count; ++i)
        toVariant(static_cast<duk_idx_t>(i), args[i]);
    NPVariant result;
    std::memset(&result, 0, sizeof result);
    bool ok = guarded(browser(), "NPClass invoke", [&] {
        return c->invoke && c->invoke(object, name, args.data(), count, &result);
    });
    for (NPVariant& arg : args)
        browser().releaseVariant(arg);
    if (!checkException(ok, "invoke"))
        return false;
    push(result);
    browser().releaseVariant(result);
    return true;
}

// ---- page objects called by the module ----

void PageObjects::pushKey(NPIdentifier name) {
    if (std::optional<int32_t> index = identifiers::number(name)) {
        duk_push_int(m_context, *index);
        return;
    }
    std::string cesu = toCesu(identifiers::text(name));
    duk_push_lstring(m_context, cesu.data(), cesu.size());
}

void PageObjects::pushArguments(const NPVariant* args, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        push(args[i]);
}

bool PageObjects::failed(int status) {
    if (status == DUK_EXEC_SUCCESS)
        return false;
    const char* message = duk_safe_to_string(m_context, -1);
    browser().records().scriptErrorsSeen.push_back(toUtf8(message, std::strlen(message)));
    duk_pop(m_context);
    return true;
}

bool PageObjects::finishCall(int status, NPVariant* result) {
    if (failed(status))
        return false;
    if (result)
        toVariant(-1, *result);
    duk_pop(m_context);
    return true;
}

bool PageObjects::evaluate(const std::string& script, NPVariant* result) {
    std::string cesu = toCesu(script);
    return finishCall(duk_peval_lstring(m_context, cesu.data(), cesu.size()), result);
}

bool PageObjects::ask(NPObject* object, NPIdentifier name, SafeOperation operation, bool callable) {
    if (!pushStashed(object))
        return false;
    pushKey(name);
    if (failed(duk_safe_call(m_context, operation, nullptr, 2, 1)))
        return false;
    bool answer = callable ? duk_is_callable(m_context, -1) : duk_get_boolean(m_context, -1);
    duk_pop(m_context);
    return answer;
}

bool PageObjects::hasMethod(NPObject* object, NPIdentifier name) {
    return ask(object, name, safeGet, true);
}

bool PageObjects::invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                         NPVariant* result) {
    if (!pushStashed(object))
        return false;
    duk_dup_top(m_context);
    pushKey(name);
    if (failed(duk_safe_call(m_context, safeGet, nullptr, 2, 1))) {
        duk_pop(m_context);
        return false;
    }
    if (!duk_is_callable(m_context, -1)) {
        duk_pop_2(m_context);
        return false;
    }
    duk_swap_top(m_context, -2);
    pushArguments(args, count);
    return finishCall(duk_pcall_method(m_context, static_cast<duk_idx_t>(count)), result);
}

bool PageObjects::invokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                                NPVariant* result) {
    if (!pushStashed(object))
        return false;
    if (!duk_is_callable(m_context, -1)) {
        duk_pop(m_context);
        return false;
    }
    duk_push_undefined(m_context);
    pushArguments(args, count);
    return finishCall(duk_pcall_method(m_context, static_cast<duk_idx_t>(count)), result);
}

bool PageObjects::hasProperty(NPObject* object, NPIdentifier name) {
    return ask(object, name, safeHas, false);
}

bool PageObjects::getProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    if (!pushStashed(object))
        return false;
    pushKey(name);
    return finishCall(duk_safe_call(m_context, safeGet, nullptr, 2, 1), result);
}

bool PageObjects::setProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    if (!pushStashed(object))
        return false;
    pushKey(name);
    push(*value);
    // One result slot, so that a setter's error stays on the stack to be read.
    if (failed(duk_safe_call(m_context, safePut, nullptr, 3, 1)))
        return false;
    duk_pop(m_context);
    return true;
}

bool PageObjects::removeProperty(NPObject* object, NPIdentifier name) {
    return ask(object, name, safeDelete, false);
}

bool PageObjects::enumerate(NPObject* object, NPIdentifier** names, uint32_t* count) {
    if (!pushStashed(object))
        return false;
    if (failed(duk_safe_call(m_context, safeKeys, nullptr, 1, 1)))
        return false;
    auto length = static_cast<uint32_t>(duk_get_length(m_context, -1));
    auto* list = static_cast<NPIdentifier*>(
        browser().ledger().allocate(static_cast<uint32_t>(length * sizeof(NPIdentifier))));
    for (uint32_t i = 0; i < length; ++i) {
        duk_get_prop_index(m_context, -1, i);
        duk_size_t size = 0;
        const char* key = duk_get_lstring(m_context, -1, &size);
        list[i] = identifiers::fromPropertyKey(toUtf8(key ? key : "", size));
        duk_pop(m_context);
    }
    duk_pop(m_context);
    *names = list;
    *count = length;
    return true;
}

bool PageObjects::construct(NPObject* object, const NPVariant* args, uint32_t count,
                            NPVariant* result) {
    if (!pushStashed(object))
        return false;
    pushArguments(args, count);
    return finishCall(duk_pnew(m_context, static_cast<duk_idx_t>(count)), result);
}

} // namespace testbrowser
