#include "BrowserFunctions.h"

#include "PageObjects.h"

#include <testbrowser/Browser.h>
#include <testbrowser/Identifiers.h>

#include <MacStandIn/RunLoop.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace testbrowser {

namespace {

// The NPN functions of the browser, as the module calls them. Each one
// reaches the current browser; only pluginthreadasynccall, memalloc and
// memfree may be called from other threads.

Browser& browser() {
    return *Browser::current();
}

PluginInstance* instanceOf(NPP npp) {
    return Browser::current()->findInstance(npp);
}

void clearVariant(NPVariant* variant) {
    if (!variant)
        return;
    std::memset(variant, 0, sizeof *variant);
    variant->type = NPVariantType_Void;
}

bool liveObject(NPObject* object) {
    return object && browser().isLiveObject(object);
}

// Runs an NPClass callback of an object for the module; a page exception the
// module set meanwhile is left for the page (it surfaces when control returns there).
template <class Call> bool callObject(NPObject* object, const char* where, Call call) {
    if (!liveObject(object) || browser().isInvalidated(object))
        return false;
    try {
        return call(object->_class);
    } catch (...) {
        browser().boundaryFault(where);
        return false;
    }
}

NPError recordRequest(NPP npp, const char* method, const char* url, const char* target,
                      uint32_t len, const char* buf, NPBool file, bool notify, void* notifyData) {
    if (!instanceOf(npp))
        return NPERR_INVALID_INSTANCE_ERROR;
    if (!url)
        return NPERR_INVALID_URL;
    UrlRequest request{npp,
                       method,
                       url,
                       target != nullptr,
                       target ? target : "",
                       std::string(buf ? buf : "", buf ? len : 0),
                       file != 0,
                       notify,
                       notifyData};
    browser().records().urlRequests.push_back(request);
    return browser().options().urlRequestResult;
}

NPError npnGetURL(NPP npp, const char* url, const char* target) {
    return recordRequest(npp, "GET", url, target, 0, nullptr, false, false, nullptr);
}

NPError npnPostURL(NPP npp, const char* url, const char* target, uint32_t len, const char* buf,
                   NPBool file) {
    return recordRequest(npp, "POST", url, target, len, buf, file, false, nullptr);
}

NPError npnGetURLNotify(NPP npp, const char* url, const char* target, void* notifyData) {
    return recordRequest(npp, "GET", url, target, 0, nullptr, false, true, notifyData);
}

NPError npnPostURLNotify(NPP npp, const char* url, const char* target, uint32_t len,
                         const char* buf, NPBool file, void* notifyData) {
    return recordRequest(npp, "POST", url, target, len, buf, file, true, notifyData);
}

NPError npnRequestRead(NPStream* stream, NPByteRange* rangeList) {
    ReadRequest request{stream, {}};
    for (NPByteRange* range = rangeList; range; range = range->next)
        request.ranges.push_back(ByteRange{range->offset, range->length});
    browser().records().readRequests.push_back(request);
    return stream ? NPERR_NO_ERROR : NPERR_INVALID_PARAM;
}

NPError npnNewStream(NPP npp, NPMIMEType, const char*, NPStream** stream) {
    if (stream)
        *stream = nullptr;
    return instanceOf(npp) ? NPERR_GENERIC_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

int32_t npnWrite(NPP, NPStream*, int32_t, void*) {
    return -1;
}

NPError npnDestroyStream(NPP npp, NPStream* stream, NPReason reason) {
    PluginInstance* instance = instanceOf(npp);
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    browser().records().streamsDestroyedByPlugin.push_back({stream, reason});
    instance->requestStreamDestroy(stream, reason);
    return NPERR_NO_ERROR;
}

void npnStatus(NPP, const char* message) {
    browser().records().statusMessages.push_back(message ? message : "");
}

const char* npnUserAgent(NPP) {
    return browser().options().userAgent.c_str();
}

void* npnMemAlloc(uint32_t size) {
    return browser().ledger().allocate(size);
}

void npnMemFree(void* block) {
    browser().ledger().free(block);
}

uint32_t npnMemFlush(uint32_t) {
    return 0;
}

void npnReloadPlugins(NPBool) {}

void* npnGetJavaEnv(void) {
    return nullptr;
}

void* npnGetJavaPeer(NPP) {
    return nullptr;
}

NPError answerBool(void* value, bool answer) {
    *static_cast<NPBool*>(value) = answer;
    return NPERR_NO_ERROR;
}

NPError npnGetValue(NPP npp, NPNVariable variable, void* value) {
    PluginInstance* instance = instanceOf(npp);
    if (!value)
        return NPERR_INVALID_PARAM;
    const BrowserOptions& options = browser().options();
    auto supported = options.supports.find(variable);
    if (supported != options.supports.end())
        return answerBool(value, supported->second);
    switch (variable) {
    case NPNVprivateModeBool:
        return answerBool(value, options.privateMode);
    case NPNVpluginDrawingModel:
        if (!instance)
            return NPERR_INVALID_INSTANCE_ERROR;
        *static_cast<int*>(value) = instance->drawingModel();
        return NPERR_NO_ERROR;
    case NPNVWindowNPObject:
    case NPNVPluginElementNPObject: {
        Page* page = browser().page();
        if (!instance || !page)
            return NPERR_INVALID_INSTANCE_ERROR;
        NPObject* object = variable == NPNVWindowNPObject
                               ? page->windowObject()
                               : page->elementObject(instance->elementId());
        *static_cast<NPObject**>(value) = object;
        return object ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
    }
    default:
        return NPERR_GENERIC_ERROR;
    }
}

NPError npnSetValue(NPP npp, NPPVariable variable, void* value) {
    PluginInstance* instance = instanceOf(npp);
    auto model = static_cast<int>(reinterpret_cast<intptr_t>(value));
    NPError result = NPERR_GENERIC_ERROR;
    const BrowserOptions& options = browser().options();
    if (!instance) {
        result = NPERR_INVALID_INSTANCE_ERROR;
    } else if (variable == NPPVpluginDrawingModel && options.drawingModels.count(model)) {
        instance->setDrawingModel(model);
        result = NPERR_NO_ERROR;
    } else if (variable == NPPVpluginEventModel && options.eventModels.count(model)) {
        instance->setEventModel(model);
        result = NPERR_NO_ERROR;
    }
    browser().records().setValues.push_back(
        SetValueCall{npp, variable, reinterpret_cast<intptr_t>(value), result});
    return result;
}

void npnInvalidateRect(NPP npp, NPRect* rect) {
    if (rect)
        browser().records().invalidatedRects.push_back(InvalidatedRect{npp, *rect});
}

void npnInvalidateRegion(NPP, NPRegion) {}

void npnForceRedraw(NPP) {}

NPIdentifier npnGetStringIdentifier(const NPUTF8* name) {
    return name ? identifiers::fromString(name) : nullptr;
}

void npnGetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* result) {
    for (int32_t i = 0; names && result && i < count; ++i)
        result[i] = npnGetStringIdentifier(names[i]);
}

NPIdentifier npnGetIntIdentifier(int32_t value) {
    return identifiers::fromInt(value);
}

bool npnIdentifierIsString(NPIdentifier identifier) {
    return identifiers::isString(identifier);
}

NPUTF8* npnUTF8FromIdentifier(NPIdentifier identifier) {
    if (!identifiers::isString(identifier))
        return nullptr;
    std::string text = identifiers::text(identifier);
    auto* copy = static_cast<NPUTF8*>(npnMemAlloc(static_cast<uint32_t>(text.size() + 1)));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

int32_t npnIntFromIdentifier(NPIdentifier identifier) {
    return identifiers::number(identifier).value_or(0);
}

NPObject* npnCreateObject(NPP npp, NPClass* objectClass) {
    try {
        return browser().createObject(npp, objectClass);
    } catch (...) {
        browser().boundaryFault("NPClass allocate");
        return nullptr;
    }
}

NPObject* npnRetainObject(NPObject* object) {
    return browser().retainObject(object);
}

void npnReleaseObject(NPObject* object) {
    try {
        browser().releaseObject(object);
    } catch (...) {
        browser().boundaryFault("NPClass deallocate");
    }
}

bool npnInvoke(NPP, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
               NPVariant* result) {
    clearVariant(result);
    return callObject(object, "NPClass invoke", [&](NPClass* c) {
        return c->invoke && c->invoke(object, name, args, count, result);
    });
}

bool npnInvokeDefault(NPP, NPObject* object, const NPVariant* args, uint32_t count,
                      NPVariant* result) {
    clearVariant(result);
    return callObject(object, "NPClass invokeDefault", [&](NPClass* c) {
        return c->invokeDefault && c->invokeDefault(object, args, count, result);
    });
}

bool npnEvaluate(NPP npp, NPObject* object, NPString* script, NPVariant* result) {
    clearVariant(result);
    Page* page = browser().page();
    if (!page || !instanceOf(npp) || !liveObject(object) || !script)
        return false;
    std::string source(script->UTF8Characters ? script->UTF8Characters : "",
                       script->UTF8Characters ? script->UTF8Length : 0);
    return page->objects().evaluate(source, result);
}

bool npnGetProperty(NPP, NPObject* object, NPIdentifier name, NPVariant* result) {
    clearVariant(result);
    return callObject(object, "NPClass getProperty", [&](NPClass* c) {
        return c->getProperty && c->getProperty(object, name, result);
    });
}

bool npnSetProperty(NPP, NPObject* object, NPIdentifier name, const NPVariant* value) {
    return callObject(object, "NPClass setProperty", [&](NPClass* c) {
        return value && c->setProperty && c->setProperty(object, name, value);
    });
}

bool npnRemoveProperty(NPP, NPObject* object, NPIdentifier name) {
    return callObject(object, "NPClass removeProperty", [&](NPClass* c) {
        return c->removeProperty && c->removeProperty(object, name);
    });
}

bool npnHasProperty(NPP, NPObject* object, NPIdentifier name) {
    return callObject(object, "NPClass hasProperty",
                      [&](NPClass* c) { return c->hasProperty && c->hasProperty(object, name); });
}

bool npnHasMethod(NPP, NPObject* object, NPIdentifier name) {
    return callObject(object, "NPClass hasMethod",
                      [&](NPClass* c) { return c->hasMethod && c->hasMethod(object, name); });
}

void npnReleaseVariantValue(NPVariant* variant) {
    if (variant)
        browser().releaseVariant(*variant);
}

void npnSetException(NPObject*, const NPUTF8* message) {
    browser().setException(message ? message : "");
}

void npnPushPopupsEnabledState(NPP, NPBool) {}

void npnPopPopupsEnabledState(NPP) {}

bool npnEnumerate(NPP, NPObject* object, NPIdentifier** names, uint32_t* count) {
    return callObject(object, "NPClass enumerate", [&](NPClass* c) {
        return names && count && c->structVersion >= NP_CLASS_STRUCT_VERSION_ENUM && c->enumerate &&
               c->enumerate(object, names, count);
    });
}

void npnPluginThreadAsyncCall(NPP npp, void (*func)(void*), void* userData) {
    Browser* owner = Browser::current();
    if (!func || !owner)
        return;
    macos::RunLoop::main().post([owner, npp, func, userData] {
        if (Browser::current() != owner || !owner->findInstance(npp)) {
            ++owner->records().asyncCallsDropped;
            return;
        }
        ++owner->records().asyncCallsRun;
        try {
            func(userData);
        } catch (...) {
            owner->boundaryFault("pluginthreadasynccall callback");
        }
    });
}

bool npnConstruct(NPP, NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    clearVariant(result);
    return callObject(object, "NPClass construct", [&](NPClass* c) {
        return c->structVersion >= NP_CLASS_STRUCT_VERSION_CTOR && c->construct &&
               c->construct(object, args, count, result);
    });
}

NPError npnGetValueForURL(NPP npp, NPNURLVariable variable, const char* url, char** value,
                          uint32_t* len) {
    if (!instanceOf(npp))
        return NPERR_INVALID_INSTANCE_ERROR;
    if (variable != NPNURLVProxy || !url || !value || !len)
        return NPERR_INVALID_PARAM;
    const auto& answer = browser().options().proxyForUrl;
    std::optional<std::string> proxy = answer ? answer(url) : std::string("DIRECT");
    if (!proxy)
        return NPERR_GENERIC_ERROR;
    *value = static_cast<char*>(npnMemAlloc(static_cast<uint32_t>(proxy->size() + 1)));
    std::memcpy(*value, proxy->c_str(), proxy->size() + 1);
    *len = static_cast<uint32_t>(proxy->size());
    return NPERR_NO_ERROR;
}

NPError npnSetValueForURL(NPP, NPNURLVariable, const char*, const char*, uint32_t) {
    return NPERR_GENERIC_ERROR;
}

NPError npnGetAuthenticationInfo(NPP, const char*, const char*, int32_t, const char*, const char*,
                                 char**, uint32_t*, char**, uint32_t*) {
    return NPERR_GENERIC_ERROR;
}

uint32_t npnScheduleTimer(NPP npp, uint32_t interval, NPBool repeat,
                          void (*func)(NPP npp, uint32_t timerID)) {
    return browser().scheduleTimer(npp, interval, repeat != 0, func);
}

void npnUnscheduleTimer(NPP npp, uint32_t timerId) {
    browser().unscheduleTimer(npp, timerId);
}

struct Entry {
    const char* name;
    size_t offset;
};

#define ENTRY(field)                                                                               \
    Entry {                                                                                        \
#field, offsetof(NPNetscapeFuncs, field)                                                   \
    }
const Entry kEntries[] = {
    ENTRY(geturl),
    ENTRY(posturl),
    ENTRY(requestread),
    ENTRY(newstream),
    ENTRY(write),
    ENTRY(destroystream),
    ENTRY(status),
    ENTRY(uagent),
    ENTRY(memalloc),
    ENTRY(memfree),
    ENTRY(memflush),
    ENTRY(reloadplugins),
    ENTRY(getJavaEnv),
    ENTRY(getJavaPeer),
    ENTRY(geturlnotify),
    ENTRY(posturlnotify),
    ENTRY(getvalue),
    ENTRY(setvalue),
    ENTRY(invalidaterect),
    ENTRY(invalidateregion),
    ENTRY(forceredraw),
    ENTRY(getstringidentifier),
    ENTRY(getstringidentifiers),
    ENTRY(getintidentifier),
    ENTRY(identifierisstring),
    ENTRY(utf8fromidentifier),
    ENTRY(intfromidentifier),
    ENTRY(createobject),
    ENTRY(retainobject),
    ENTRY(releaseobject),
    ENTRY(invoke),
    ENTRY(invokeDefault),
    ENTRY(evaluate),
    ENTRY(getproperty),
    ENTRY(setproperty),
    ENTRY(removeproperty),
    ENTRY(hasproperty),
    ENTRY(hasmethod),
    ENTRY(releasevariantvalue),
    ENTRY(setexception),
    ENTRY(pushpopupsenabledstate),
    ENTRY(poppopupsenabledstate),
    ENTRY(enumerate),
    ENTRY(pluginthreadasynccall),
    ENTRY(construct),
    ENTRY(getvalueforurl),
    ENTRY(setvalueforurl),
    ENTRY(getauthenticationinfo),
    ENTRY(scheduletimer),
    ENTRY(unscheduletimer),
    ENTRY(popupcontextmenu),
    ENTRY(convertpoint),
    ENTRY(handleevent),
    ENTRY(unfocusinstance),
    ENTRY(urlredirectresponse),
    ENTRY(initasyncsurface),
    ENTRY(finalizeasyncsurface),
    ENTRY(setcurrentasyncsurface),
};
#undef ENTRY

} // namespace

NPNetscapeFuncs browserFunctionTable(uint16_t version) {
    NPNetscapeFuncs table{};
    table.size = sizeof(NPNetscapeFuncs);
    table.version = version;
    table.geturl = npnGetURL;
    table.posturl = npnPostURL;
    table.requestread = npnRequestRead;
    table.newstream = npnNewStream;
    table.write = npnWrite;
    table.destroystream = npnDestroyStream;
    table.status = npnStatus;
    table.uagent = npnUserAgent;
    table.memalloc = npnMemAlloc;
    table.memfree = npnMemFree;
    table.memflush = npnMemFlush;
    table.reloadplugins = npnReloadPlugins;
    table.getJavaEnv = npnGetJavaEnv;
    table.getJavaPeer = npnGetJavaPeer;
    table.geturlnotify = npnGetURLNotify;
    table.posturlnotify = npnPostURLNotify;
    table.getvalue = npnGetValue;
    table.setvalue = npnSetValue;
    table.invalidaterect = npnInvalidateRect;
    table.invalidateregion = npnInvalidateRegion;
    table.forceredraw = npnForceRedraw;
    table.getstringidentifier = npnGetStringIdentifier;
    table.getstringidentifiers = npnGetStringIdentifiers;
    table.getintidentifier = npnGetIntIdentifier;
    table.identifierisstring = npnIdentifierIsString;
    table.utf8fromidentifier = npnUTF8FromIdentifier;
    table.intfromidentifier = npnIntFromIdentifier;
    table.createobject = npnCreateObject;
    table.retainobject = npnRetainObject;
    table.releaseobject = npnReleaseObject;
    table.invoke = npnInvoke;
    table.invokeDefault = npnInvokeDefault;
    table.evaluate = npnEvaluate;
    table.getproperty = npnGetProperty;
    table.setproperty = npnSetProperty;
    table.removeproperty = npnRemoveProperty;
    table.hasproperty = npnHasProperty;
    table.hasmethod = npnHasMethod;
    table.releasevariantvalue = npnReleaseVariantValue;
    table.setexception = npnSetException;
    table.pushpopupsenabledstate = npnPushPopupsEnabledState;
    table.poppopupsenabledstate = npnPopPopupsEnabledState;
    table.enumerate = npnEnumerate;
    table.pluginthreadasynccall = npnPluginThreadAsyncCall;
    table.construct = npnConstruct;
    table.getvalueforurl = npnGetValueForURL;
    table.setvalueforurl = npnSetValueForURL;
    table.getauthenticationinfo = npnGetAuthenticationInfo;
    table.scheduletimer = npnScheduleTimer;
    table.unscheduletimer = npnUnscheduleTimer;
    // Context menus, coordinate conversion, event replies, focus, redirects
    // and async surfaces are not offered: those entries stay NULL.
    return table;
}

std::vector<std::string> browserFunctionNames() {
    std::vector<std::string> names;
    for (const Entry& entry : kEntries)
        names.push_back(entry.name);
    return names;
}

void clearBrowserFunction(NPNetscapeFuncs& table, const std::string& name) {
    for (const Entry& entry : kEntries) {
        if (name == entry.name) {
            void* null = nullptr;
            std::memcpy(reinterpret_cast<char*>(&table) + entry.offset, &null, sizeof null);
            return;
        }
    }
    throw std::invalid_argument("no browser function named " + name);
}

} // namespace testbrowser
