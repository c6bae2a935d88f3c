// The bridge between the page's script values and NPObjects, both ways:
// page values reach the module as NPObjects of the browser's own class, and
// the module's NPObjects appear in the page as Proxy objects whose property
// reads, writes, calls and enumeration go through their NPClass.
#pragma once

#include <NPAPI.h>

#include <cstdint>
#include <map>
#include <string>

struct duk_hthread;
typedef struct duk_hthread duk_context;
typedef int duk_idx_t;

namespace testbrowser {

class Browser;
class Page;
class PluginInstance;

class PageObjects {
public:
    PageObjects(Page& page, duk_context* context);
    PageObjects(const PageObjects&) = delete;
    PageObjects& operator=(const PageObjects&) = delete;

    // Creates the shared Proxy handlers; the heap must be ready.
    void installHandlers();

    // The script value at the index as an NPVariant the receiver owns:
    // texts in the browser's allocator, objects with a reference.
    void toVariant(duk_idx_t index, NPVariant& out);
    // Pushes the script value for an NPVariant (no ownership taken).
    void push(const NPVariant& value);
    // The page object at the index as an NPObject, with a new reference;
    // the same NPObject for the same script object while it lives.
    NPObject* wrap(duk_idx_t index);
    // Pushes a new Proxy for a module object; it holds one reference until
    // the page collects it or the object's instance goes.
    void pushModuleObject(NPObject* object);
    // Replaces the plain element at the index with a Proxy that offers the
    // instance's scriptable object first and the element's own members after.
    void pushElementProxy(duk_idx_t elementIndex, PluginInstance& instance);
    // A function for an element to be built on, so that calling the element
    // calls the plug-in's object (NPClass invokeDefault), as browsers allow.
    void pushCallableTarget();
    // The instance of the object element at the index (its Proxy or the
    // Proxy's target), while the instance lives; NULL otherwise.
    PluginInstance* elementInstance(duk_idx_t elementIndex);

    static bool isPageObject(const NPObject* object);
    static NPClass pageObjectClass;

    // Drops the page's references to the instance's objects.
    void forgetInstance(NPP npp);
    // Drops every reference the page holds, before the heap goes; page
    // objects still held by the module then answer every call with failure.
    void detachAll();

    // Runs the trap named by the Proxy handler; false with an Error on the stack on failure.
    bool moduleTrap(int trap);
    bool elementTrap(int trap);
    bool callMethod();
    void finalizeRecord();

    Browser& browser() const;
    Page& page() const { return m_page; }

    // NPN_Evaluate: runs the script in the page; false when it raises.
    bool evaluate(const std::string& script, NPVariant* result);

    // Page object callbacks (NPClass of the browser).
    bool hasMethod(NPObject* object, NPIdentifier name);
    bool invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                NPVariant* result);
    bool invokeDefault(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result);
    bool hasProperty(NPObject* object, NPIdentifier name);
    bool getProperty(NPObject* object, NPIdentifier name, NPVariant* result);
    bool setProperty(NPObject* object, NPIdentifier name, const NPVariant* value);
    bool removeProperty(NPObject* object, NPIdentifier name);
    bool enumerate(NPObject* object, NPIdentifier** names, uint32_t* count);
    bool construct(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result);
    void forgetPageObject(NPObject* object);

private:
    struct HeldObject {
        NPObject* object;
        NPP owner;
        bool held;
    };

    using SafeOperation = int (*)(duk_context*, void*);
    // Runs a keyed operation on a page object; the answer is whether the value
    // it leaves is callable, or else true.
    bool ask(NPObject* object, NPIdentifier name, SafeOperation operation, bool callable);
    uint32_t hold(NPObject* object);
    NPObject* heldObject(duk_idx_t index);
    void pushKey(NPIdentifier name);
    bool pushStashed(NPObject* object);
    void pushArguments(const NPVariant* args, uint32_t count);
    bool finishCall(int status, NPVariant* result);
    bool failed(int status);
    void pushError(const std::string& message);
    bool checkException(bool succeeded, const char* operation);
    // The operations of a module object under a property key at index 1.
    bool moduleHas(NPObject* object, NPIdentifier name);
    bool moduleGet(NPObject* object, NPIdentifier name);
    bool moduleSet(NPObject* object, NPIdentifier name, duk_idx_t value);
    bool moduleDelete(NPObject* object, NPIdentifier name);
    bool moduleKeys(NPObject* object);
    void markListed(duk_idx_t target, duk_idx_t keys);
    bool isListedMark(duk_idx_t index);
    void pushListedMark();
    bool moduleCall(NPObject* object, duk_idx_t argsArray, bool construct);
    bool usable(NPObject* object);

    Page& m_page;
    duk_context* m_context;
    std::map<uint32_t, HeldObject> m_held;
    uint32_t m_lastHeld = 0;
    std::map<void*, NPObject*> m_pageObjects; // script object to its NPObject
    uint32_t m_lastStashKey = 0;
    std::map<uint32_t, PluginInstance*> m_elements;
    uint32_t m_lastElement = 0;
};

} // namespace testbrowser
