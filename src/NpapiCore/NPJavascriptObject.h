#pragma once

// FB::Npapi::NPJavascriptObject: the NPObject through which the page sees a
// script object of the system. The browser calls the callbacks of its class;
// each turns identifiers into member names or indexes and NPVariants into
// variants through the instance's host, calls the script object and writes
// the answer back. A script error becomes a page exception and the text that
// the built-in member "getLastException" answers for the instance; any other
// failure is a quiet false. The object holds the script object and the host
// only weakly: once either is gone every callback answers false. The browser's
// reference count alone decides the object's life.

#include "JSFunction.h"
#include "NpapiBrowserHost.h"
#include "ShareableReference.h"

#include <NPAPI.h>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>

namespace FB {
namespace Npapi {

class NPJavascriptObject : public NPObject {
public:
    typedef boost::weak_ptr<ShareableReference<NPJavascriptObject>> WeakReference;

    static NPClass NPJavascriptObjectClass;

    // A new object made through the browser, bound to the script object;
    // NULL when the browser makes none. The caller owns the one reference.
    // With autoRelease the host keeps the script object alive while the
    // object lives.
    static NPJavascriptObject* NewObject(const NpapiBrowserHostPtr& host,
                                         const boost::weak_ptr<JSAPI>& api, bool autoRelease);
    static bool isNPJavaScriptObject(const NPObject* npo);

    void setAPI(const boost::weak_ptr<JSAPI>& api, const NpapiBrowserHostPtr& host);
    // Raises std::bad_cast once the script object is gone.
    JSAPIPtr getAPI() const;
    // Raises std::bad_cast, invalidating this object, once the host is gone.
    NpapiBrowserHostPtr getHost();
    bool isValid() const;
    // Whether the object stands for this very script object.
    bool isBoundTo(const JSAPIPtr& api) const;
    // Expires when the object is deallocated.
    WeakReference getWeakReference() const { return m_sharedRef; }

    // The NPClass callbacks.
    void Invalidate();
    bool HasMethod(NPIdentifier name);
    bool Invoke(NPIdentifier name, const NPVariant* args, std::uint32_t argCount,
                NPVariant* result);
    bool InvokeDefault(const NPVariant* args, std::uint32_t argCount, NPVariant* result);
    bool HasProperty(NPIdentifier name);
    bool GetProperty(NPIdentifier name, NPVariant* result);
    bool SetProperty(NPIdentifier name, const NPVariant* value);
    bool RemoveProperty(NPIdentifier name);
    bool Enumeration(NPIdentifier** identifiers, std::uint32_t* count);
    bool Construct(const NPVariant* args, std::uint32_t argCount, NPVariant* result);

    // The built-in members, each a function object that holds its owner
    // weakly and refuses to run once the owner is gone or invalid.
    class BuiltInMember : public JSFunction {
    public:
        BuiltInMember(const WeakReference& owner, const std::string& name);

    protected:
        // The owner while the browser has not deallocated it; raises
        // FB::invalid_arguments once it has.
        NPJavascriptObject& liveOwner() const;
        // The live owner, still valid; raises FB::invalid_arguments otherwise.
        NPJavascriptObject& owner() const;

    private:
        WeakReference m_obj;
    };

    // "addEventListener"(event, handler[, ignored]) and its counterpart: the
    // page function handles the script object's event "on" + event.
    class NPO_addEventListener : public BuiltInMember {
    public:
        explicit NPO_addEventListener(const WeakReference& owner);
        variant exec(const VariantList& args) override;
    };

    class NPO_removeEventListener : public BuiltInMember {
    public:
        explicit NPO_removeEventListener(const WeakReference& owner);
        variant exec(const VariantList& args) override;
    };

    // "getLastException"(): the text of the instance's last script error.
    class NPO_getLastException : public BuiltInMember {
    public:
        explicit NPO_getLastException(const WeakReference& owner);
        variant exec(const VariantList& args) override;
    };

    virtual ~NPJavascriptObject();

private:
    explicit NPJavascriptObject(NPP npp);

    // The frame of every callback but Invalidate: false at once when the
    // object is invalid; body's failures become false, a script error also a
    // page exception. No exception leaves it.
    template <class Body> bool guarded(const Body& body);
    void reportScriptError(const char* message);
    // Appends the page's arguments, converted, to list.
    void convertArguments(NpapiBrowserHost& host, const NPVariant* args, std::uint32_t argCount,
                          VariantList& list) const;
    variant propertyValue(NpapiBrowserHost& host, NPIdentifier name);
    // The built-in member object in the field, made when first asked for.
    template <class Member> JSAPIPtr builtInMember(boost::shared_ptr<Member>& member);

    static NPObject* _Allocate(NPP npp, NPClass* cls);
    static void _Deallocate(NPObject* obj);
    static void _Invalidate(NPObject* obj);
    static bool _HasMethod(NPObject* obj, NPIdentifier name);
    static bool _Invoke(NPObject* obj, NPIdentifier name, const NPVariant* args,
                        std::uint32_t argCount, NPVariant* result);
    static bool _InvokeDefault(NPObject* obj, const NPVariant* args, std::uint32_t argCount,
                               NPVariant* result);
    static bool _HasProperty(NPObject* obj, NPIdentifier name);
    static bool _GetProperty(NPObject* obj, NPIdentifier name, NPVariant* result);
    static bool _SetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value);
    static bool _RemoveProperty(NPObject* obj, NPIdentifier name);
    static bool _Enumeration(NPObject* obj, NPIdentifier** identifiers, std::uint32_t* count);
    static bool _Construct(NPObject* obj, const NPVariant* args, std::uint32_t argCount,
                           NPVariant* result);

    boost::weak_ptr<JSAPI> m_api;
    boost::weak_ptr<NpapiBrowserHost> m_browser;
    bool m_valid;
    bool m_autoRelease;
    boost::shared_ptr<ShareableReference<NPJavascriptObject>> m_sharedRef;
    boost::shared_ptr<NPO_addEventListener> m_addEventFunc;
    boost::shared_ptr<NPO_removeEventListener> m_removeEventFunc;
    boost::shared_ptr<NPO_getLastException> m_getLastExceptionFunc;
};

} // namespace Npapi
} // namespace FB
