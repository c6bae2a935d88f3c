#pragma once

// FB::Npapi::NpapiBrowserHost: the browser host of one NPAPI plug-in
// instance. It keeps the instance's own copy of the browser's function table
// and wraps every browser function the framework uses in a member of the
// same name, which answers a fixed value when the browser lacks the entry or
// the host has shut down. It gives the framework the page's window, document
// and plug-in element, runs script in the page, reads the browser's proxy
// for a URL, converts values between FB::variant and NPVariant, hands out
// one NPObject per script object, and gives page objects back to the
// browser on the main thread whatever thread drops them.

#include "BrowserHost.h"
#include "SafeQueue.h"
#include "ShareableReference.h"
#include "variant.h"

#include <NPAPI.h>

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace FB {
namespace Npapi {

class NpapiPluginModule;
class NpapiStream;
class NPJavascriptObject;
class NPObjectAPI;
class NpapiBrowserHost;
typedef boost::shared_ptr<NpapiBrowserHost> NpapiBrowserHostPtr;
typedef boost::shared_ptr<NPObjectAPI> NPObjectAPIPtr;

class NpapiBrowserHost : public BrowserHost {
public:
    // On the main thread; the table stays empty until setBrowserFuncs.
    // Raises std::logic_error for a NULL module.
    NpapiBrowserHost(NpapiPluginModule* module, NPP npp);
    ~NpapiBrowserHost() override;

    // Copies the browser's table and finds the page's window, document and
    // plug-in element; a page without them still gets a host.
    void setBrowserFuncs(const NPNetscapeFuncs* funcs);

    NpapiBrowserHostPtr shared_from_this();
    boost::shared_ptr<const NpapiBrowserHost> shared_from_this() const;
    NpapiPluginModule& getModule() const { return *m_module; }

    void* getContextID() const override { return m_npp; }

    // Raise std::runtime_error when the page object was not found.
    DOM::DocumentPtr getDOMDocument() override;
    DOM::WindowPtr getDOMWindow() override;
    DOM::ElementPtr getDOMElement() override;

    void Navigate(const std::string& url, const std::string& target) override;
    using BrowserHost::evaluateJavaScript;
    // Raises FB::script_error when the page refuses the script.
    void evaluateJavaScript(const std::string& script) override;

    // Clears the table first, so every browser call from now on answers its
    // fixed value; then the base shutdown, then the page objects go, and
    // the streams, which the browser will not finish now, let themselves go.
    void shutdown() override;

    void DoDeferredRelease() const override;
    // The browser's proxy for url; a browser without the answer defers to
    // the system's settings.
    bool DetectProxySettings(std::map<std::string, std::string>& settings,
                             const std::string& url) override;

    // Any thread.
    bool _scheduleAsyncCall(void (*func)(void*), void* userData) const override;
    BrowserStreamPtr _createStream(const BrowserStreamRequest& req) const override;
    BrowserStreamPtr _createUnsolicitedStream(const BrowserStreamRequest& req) const override;

    // Any thread: the page object's reference goes back to the browser, at
    // once on the main thread, otherwise at the next DoDeferredRelease.
    virtual void deferred_release(NPObject* obj) const;

    // The page's value as a variant; objects become page objects.
    variant getVariant(const NPVariant* npVar);
    // Main thread: the value as an NPVariant the caller owns; a value of a
    // type with no NPAPI form gives Void. Texts are allocated by the browser.
    void getNPVariant(NPVariant* dst, const variant& value);
    // Main thread: the one NPObject of a script object, with a reference for
    // the caller. With autoRelease the NPObject keeps the script object alive.
    NPObject* getJSAPIWrapper(const boost::weak_ptr<JSAPI>& api, bool autoRelease);

    // The text of the last script error that an NPObject of this instance
    // reported to the page; undefined before the first. Main thread.
    variant getLastException() const { return m_lastException; }
    void setLastException(const std::string& message) { m_lastException = message; }

    // NULL when the browser gives none.
    const char* UserAgent() const;
    bool isChrome() const;
    bool isFirefox() const;
    bool isSafari() const;

    // The browser's functions.
    NPError GetURL(const char* url, const char* target) const;
    NPError GetURLNotify(const char* url, const char* target, void* notifyData) const;
    NPError PostURL(const char* url, const char* target, std::uint32_t len, const char* buf,
                    NPBool file) const;
    NPError PostURLNotify(const char* url, const char* target, std::uint32_t len, const char* buf,
                          NPBool file, void* notifyData) const;
    NPError RequestRead(NPStream* stream, NPByteRange* rangeList) const;
    NPError NewStream(NPMIMEType type, const char* target, NPStream** stream) const;
    std::int32_t Write(NPStream* stream, std::int32_t len, void* buffer) const;
    NPError DestroyStream(NPStream* stream, NPReason reason) const;
    void SetStatus(const char* message) const;
    NPError GetValue(NPNVariable variable, void* value) const;
    NPError SetValue(NPPVariable variable, void* value) const;
    void InvalidateRect(NPRect* rect) const;
    void InvalidateRect2(const NPRect& rect) const;
    void InvalidateRegion(NPRegion region) const;
    void ForceRedraw() const;
    void PushPopupsEnabledState(bool enabled) const;
    void PopPopupsEnabledState() const;
    NPObject* CreateObject(NPClass* aClass) const;
    bool Invoke(NPObject* obj, NPIdentifier name, const NPVariant* args, std::uint32_t count,
                NPVariant* result) const;
    bool InvokeDefault(NPObject* obj, const NPVariant* args, std::uint32_t count,
                       NPVariant* result) const;
    bool Evaluate(NPObject* obj, NPString* script, NPVariant* result) const;
    bool GetProperty(NPObject* obj, NPIdentifier name, NPVariant* result) const;
    bool SetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value) const;
    bool RemoveProperty(NPObject* obj, NPIdentifier name) const;
    bool HasProperty(NPObject* obj, NPIdentifier name) const;
    bool HasMethod(NPObject* obj, NPIdentifier name) const;
    bool Enumerate(NPObject* obj, NPIdentifier** identifiers, std::uint32_t* count) const;
    bool Construct(NPObject* obj, const NPVariant* args, std::uint32_t count,
                   NPVariant* result) const;
    void SetException(NPObject* obj, const NPUTF8* message) const;
    std::uint32_t ScheduleTimer(std::uint32_t interval, bool repeat,
                                void (*func)(NPP npp, std::uint32_t timerID)) const;
    void UnscheduleTimer(std::uint32_t timerID) const;
    void PluginThreadAsyncCall(void (*func)(void*), void* userData) const;
    NPError GetValueForURL(NPNURLVariable variable, const char* url, char** value,
                           std::uint32_t* len) const;
    NPError SetValueForURL(NPNURLVariable variable, const char* url, const char* value,
                           std::uint32_t len) const;
    NPError GetAuthenticationInfo(const char* protocol, const char* host, std::int32_t port,
                                  const char* scheme, const char* realm, char** username,
                                  std::uint32_t* ulen, char** password, std::uint32_t* plen) const;

    // Through the module, so that they keep working after shutdown.
    void* MemAlloc(std::uint32_t size) const;
    void MemFree(void* ptr) const;
    std::uint32_t MemFlush(std::uint32_t size) const;
    NPObject* RetainObject(NPObject* obj) const;
    void ReleaseObject(NPObject* obj) const;
    void ReleaseVariantValue(NPVariant* variant) const;
    NPIdentifier GetStringIdentifier(const NPUTF8* name) const;
    void GetStringIdentifiers(const NPUTF8** names, std::int32_t nameCount,
                              NPIdentifier* identifiers) const;
    NPIdentifier GetIntIdentifier(std::int32_t intid) const;
    bool IdentifierIsString(NPIdentifier identifier) const;
    NPUTF8* UTF8FromIdentifier(NPIdentifier identifier) const;
    std::string StringFromIdentifier(NPIdentifier identifier) const;
    std::int32_t IntFromIdentifier(NPIdentifier identifier) const;

private:
    typedef boost::weak_ptr<ShareableReference<NPJavascriptObject>> WrapperReference;

    NPObjectAPIPtr pageObject(NPNVariable variable);
    NPObjectAPIPtr documentOf(const NPObjectAPIPtr& window);
    // A cached NPObject still bound to api, with a new reference; or NULL.
    NPObject* cachedWrapper(const JSAPIPtr& api);
    std::string userAgentText() const;
    void track(const boost::shared_ptr<NpapiStream>& stream) const;
    void releaseStreams();

    NPNetscapeFuncs m_browserFuncs;
    NpapiPluginModule* m_module;
    NPP m_npp;
    NPObjectAPIPtr m_document;
    NPObjectAPIPtr m_window;
    NPObjectAPIPtr m_element;
    mutable SafeQueue<NPObject*> m_deferredReleases;
    mutable std::map<void*, WrapperReference> m_wrapperCache;
    // Main thread: the streams made for the instance.
    mutable std::vector<boost::weak_ptr<NpapiStream>> m_streams;
    // The thread-asynchronous entry apart from the table: calls from other
    // threads read it while the main thread may be clearing the table.
    std::atomic<NPN_PluginThreadAsyncCallProcPtr> m_threadAsyncCall;
    variant m_lastException;
};

} // namespace Npapi
} // namespace FB
