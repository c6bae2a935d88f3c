// A tiny NPAPI module, written straight on the API, to test the browser with:
// one scriptable echo object per instance with a method ("echo"), a property
// ("value") and an event ("onecho", fired from a worker thread).
#include <NPAPI.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

NPNetscapeFuncs g_browser;
std::string g_log;

struct Instance;

struct EchoObject : NPObject {
    Instance* instance = nullptr;
    NPVariant value{};
    NPObject* onecho = nullptr;
    int calls = 0;
};

struct Pending {
    Instance* instance;
    std::string text;
};

struct Instance {
    explicit Instance(NPP instance) : npp(instance) {}
    NPP npp;
    EchoObject* object = nullptr;
    std::string onload;
    uint32_t windowWidth = 0;
    std::string received;
    int lastReason = -1;
    std::vector<std::unique_ptr<Pending>> pending;
    std::vector<std::thread> workers;
};

NPIdentifier id(const char* name) {
    return g_browser.getstringidentifier(name);
}

bool named(NPIdentifier name, const char* text) {
    return name == id(text);
}

void setString(NPVariant* out, const std::string& text) {
    auto* copy = static_cast<char*>(g_browser.memalloc(static_cast<uint32_t>(text.size() + 1)));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    out->type = NPVariantType_String;
    out->value.stringValue = NPString{copy, static_cast<uint32_t>(text.size())};
}

// A copy the receiver owns: its own text, its own object reference.
void copyVariant(const NPVariant& from, NPVariant* to) {
    if (from.type == NPVariantType_String) {
        setString(to, std::string(from.value.stringValue.UTF8Characters,
                                  from.value.stringValue.UTF8Length));
        return;
    }
    *to = from;
    if (from.type == NPVariantType_Object)
        g_browser.retainobject(from.value.objectValue);
}

NPObject* allocateEcho(NPP, NPClass*) {
    return new EchoObject;
}

void deallocateEcho(NPObject* object) {
    auto* echo = static_cast<EchoObject*>(object);
    g_browser.releasevariantvalue(&echo->value);
    if (echo->onecho)
        g_browser.releaseobject(echo->onecho);
    delete echo;
}

bool hasMethod(NPObject*, NPIdentifier name) {
    return named(name, "echo") || named(name, "echoLater") || named(name, "request") ||
           named(name, "leak");
}

void fireEcho(void* data) {
    auto* pending = static_cast<Pending*>(data);
    EchoObject* echo = pending->instance->object;
    if (echo && echo->onecho) {
        NPVariant arg, result;
        setString(&arg, pending->text);
        if (g_browser.invokeDefault(pending->instance->npp, echo->onecho, &arg, 1, &result))
            g_browser.releasevariantvalue(&result);
        g_browser.releasevariantvalue(&arg);
    }
}

bool invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
            NPVariant* result) {
    auto* echo = static_cast<EchoObject*>(object);
    if (named(name, "echo")) {
        if (count != 1) {
            g_browser.setexception(object, "echo needs one argument");
            return false;
        }
        ++echo->calls;
        copyVariant(args[0], result);
        return true;
    }
    if (named(name, "echoLater") && count == 1 && args[0].type == NPVariantType_String) {
        Instance* instance = echo->instance;
        instance->pending.push_back(std::make_unique<Pending>(
            Pending{instance, std::string(args[0].value.stringValue.UTF8Characters,
                                          args[0].value.stringValue.UTF8Length)}));
        Pending* pending = instance->pending.back().get();
        NPP npp = instance->npp;
        instance->workers.emplace_back(
            [npp, pending] { g_browser.pluginthreadasynccall(npp, fireEcho, pending); });
        return true;
    }
    if (named(name, "request") && count == 1 && args[0].type == NPVariantType_String) {
        std::string url(args[0].value.stringValue.UTF8Characters,
                        args[0].value.stringValue.UTF8Length);
        NPError error = g_browser.geturlnotify(echo->instance->npp, url.c_str(), nullptr, echo);
        result->type = NPVariantType_Int32;
        result->value.intValue = error;
        return true;
    }
    if (named(name, "leak")) {
        g_browser.memalloc(16);
        return true;
    }
    return false;
}

bool invokeDefault(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    return invoke(object, id("echo"), args, count, result);
}

bool hasProperty(NPObject*, NPIdentifier name) {
    return named(name, "value") || named(name, "onecho") || named(name, "calls") ||
           named(name, "received") || named(name, "windowWidth") || named(name, "lastReason");
}

bool getProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    auto* echo = static_cast<EchoObject*>(object);
    Instance* instance = echo->instance;
    result->type = NPVariantType_Int32;
    if (named(name, "value")) {
        copyVariant(echo->value, result);
    } else if (named(name, "onecho")) {
        result->type = echo->onecho ? NPVariantType_Object : NPVariantType_Null;
        result->value.objectValue = echo->onecho ? g_browser.retainobject(echo->onecho) : nullptr;
    } else if (named(name, "calls")) {
        result->value.intValue = echo->calls;
    } else if (named(name, "received")) {
        setString(result, instance->received);
    } else if (named(name, "windowWidth")) {
        result->value.intValue = static_cast<int32_t>(instance->windowWidth);
    } else if (named(name, "lastReason")) {
        result->value.intValue = instance->lastReason;
    } else {
        return false;
    }
    return true;
}

bool setProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    auto* echo = static_cast<EchoObject*>(object);
    if (named(name, "value")) {
        g_browser.releasevariantvalue(&echo->value);
        copyVariant(*value, &echo->value);
        return true;
    }
    if (named(name, "onecho")) {
        if (echo->onecho)
            g_browser.releaseobject(echo->onecho);
        echo->onecho = value->type == NPVariantType_Object
                           ? g_browser.retainobject(value->value.objectValue)
                           : nullptr;
        return true;
    }
    g_browser.setexception(object, "read-only property");
    return false;
}

bool enumerate(NPObject*, NPIdentifier** names, uint32_t* count) {
    const char* members[] = {"echo", "value", "onecho"};
    *count = 3;
    *names = static_cast<NPIdentifier*>(g_browser.memalloc(3 * sizeof(NPIdentifier)));
    for (uint32_t i = 0; i < 3; ++i)
        (*names)[i] = id(members[i]);
    return true;
}

NPClass echoClass = {NP_CLASS_STRUCT_VERSION,
                     allocateEcho,
                     deallocateEcho,
                     nullptr,
                     hasMethod,
                     invoke,
                     invokeDefault,
                     hasProperty,
                     getProperty,
                     setProperty,
                     nullptr,
                     enumerate,
                     nullptr};

Instance* instanceOf(NPP npp) {
    return npp ? static_cast<Instance*>(npp->pdata) : nullptr;
}

NPObject* scriptable(Instance* instance) {
    if (!instance->object) {
        instance->object =
            static_cast<EchoObject*>(g_browser.createobject(instance->npp, &echoClass));
        instance->object->instance = instance;
    }
    return g_browser.retainobject(instance->object);
}

// Calls window[onload](the echo object), as a page's load handler.
void callOnload(void* data) {
    auto* instance = static_cast<Instance*>(data);
    NPObject* window = nullptr;
    if (g_browser.getvalue(instance->npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR)
        return;
    NPVariant handler;
    if (g_browser.getproperty(instance->npp, window, id(instance->onload.c_str()), &handler)) {
        if (handler.type == NPVariantType_Object) {
            NPVariant arg, result;
            arg.type = NPVariantType_Object;
            arg.value.objectValue = scriptable(instance);
            if (g_browser.invokeDefault(instance->npp, handler.value.objectValue, &arg, 1, &result))
                g_browser.releasevariantvalue(&result);
            g_browser.releasevariantvalue(&arg);
        }
        g_browser.releasevariantvalue(&handler);
    }
    g_browser.releaseobject(window);
}

NPError nppNew(NPMIMEType, NPP npp, uint16_t, int16_t argc, char* argn[], char* argv[],
               NPSavedData*) {
    g_log += "NPP_New;";
    auto* instance = new Instance(npp);
    npp->pdata = instance;
    for (int16_t i = 0; i < argc; ++i)
        if (std::strcmp(argn[i], "onload") == 0 && argv[i])
            instance->onload = argv[i];
    NPBool coreGraphics = false;
    if (g_browser.getvalue(npp, NPNVsupportsCoreGraphicsBool, &coreGraphics) == NPERR_NO_ERROR &&
        coreGraphics) {
        g_browser.setvalue(npp, NPPVpluginDrawingModel,
                           reinterpret_cast<void*>(NPDrawingModelCoreGraphics));
        g_browser.setvalue(npp, NPPVpluginEventModel, reinterpret_cast<void*>(NPEventModelCocoa));
    }
    if (!instance->onload.empty())
        g_browser.pluginthreadasynccall(npp, callOnload, instance);
    return NPERR_NO_ERROR;
}

NPError nppDestroy(NPP npp, NPSavedData**) {
    g_log += "NPP_Destroy;";
    Instance* instance = instanceOf(npp);
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    for (std::thread& worker : instance->workers)
        worker.join();
    if (instance->object) {
        instance->object->instance = nullptr;
        g_browser.releaseobject(instance->object);
    }
    delete instance;
    npp->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError nppSetWindow(NPP npp, NPWindow* window) {
    if (Instance* instance = instanceOf(npp))
        instance->windowWidth = window ? window->width : 0;
    return NPERR_NO_ERROR;
}

NPError nppNewStream(NPP, NPMIMEType, NPStream*, NPBool, uint16_t* stype) {
    *stype = NP_NORMAL;
    return NPERR_NO_ERROR;
}

NPError nppDestroyStream(NPP, NPStream*, NPReason) {
    return NPERR_NO_ERROR;
}

int32_t nppWriteReady(NPP, NPStream*) {
    return 4;
}

int32_t nppWrite(NPP npp, NPStream*, int32_t, int32_t len, void* buffer) {
    instanceOf(npp)->received.append(static_cast<char*>(buffer), static_cast<size_t>(len));
    return len;
}

void nppStreamAsFile(NPP, NPStream*, const char*) {}

void nppPrint(NPP, NPPrint*) {}

int16_t nppHandleEvent(NPP, void* event) {
    return static_cast<NPCocoaEvent*>(event)->type == NPCocoaEventMouseDown;
}

void nppURLNotify(NPP npp, const char*, NPReason reason, void*) {
    instanceOf(npp)->lastReason = reason;
}

NPError nppGetValue(NPP npp, NPPVariable variable, void* value) {
    Instance* instance = instanceOf(npp);
    if (variable != NPPVpluginScriptableNPObject || !instance)
        return NPERR_GENERIC_ERROR;
    *static_cast<NPObject**>(value) = scriptable(instance);
    return NPERR_NO_ERROR;
}

NPError nppSetValue(NPP, NPNVariable, void*) {
    return NPERR_GENERIC_ERROR;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) NPError NP_GetEntryPoints(NPPluginFuncs* f) {
    g_log += "NP_GetEntryPoints;";
    f->newp = nppNew;
    f->destroy = nppDestroy;
    f->setwindow = nppSetWindow;
    f->newstream = nppNewStream;
    f->destroystream = nppDestroyStream;
    f->asfile = nppStreamAsFile;
    f->writeready = nppWriteReady;
    f->write = nppWrite;
    f->print = nppPrint;
    f->event = nppHandleEvent;
    f->urlnotify = nppURLNotify;
    f->getvalue = nppGetValue;
    f->setvalue = nppSetValue;
    return NPERR_NO_ERROR;
}

__attribute__((visibility("default"))) NPError NP_Initialize(NPNetscapeFuncs* b) {
    g_log += "NP_Initialize;";
    std::memset(&g_browser, 0, sizeof g_browser);
    std::memcpy(&g_browser, b, b->size < sizeof g_browser ? b->size : sizeof g_browser);
    return NPERR_NO_ERROR;
}

__attribute__((visibility("default"))) NPError NP_Shutdown(void) {
    g_log += "NP_Shutdown;";
    return NPERR_NO_ERROR;
}

// For the browser's tests: the entry points called so far, then forgets them.
__attribute__((visibility("default"))) const char* EchoModule_takeLog(void) {
    static std::string taken;
    taken.swap(g_log);
    g_log.clear();
    return taken.c_str();
}
}
