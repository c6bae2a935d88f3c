#pragma once

// FB::Npapi::NpapiPluginModule: the loaded module as one browser image sees
// it. It keeps the module's copy of the browser's function table and offers
// the browser functions that need no plug-in instance (memory, identifiers,
// object references); the instances' hosts forward their calls of that kind
// here, so they keep working after a host has shut down. A registry holds
// one module per calling image, keyed by the image's load address.

#include "SafeQueue.h"

#include <NPAPI.h>

#include <boost/noncopyable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace FB {
namespace Npapi {

class NpapiPluginModule : private boost::noncopyable {
public:
    // On the browser's main thread, which the module remembers; the table
    // starts all NULL.
    NpapiPluginModule();
    // Gives back the page objects still waiting for their release.
    virtual ~NpapiPluginModule();

    // The module for the image at key, made on first request. Making the
    // first module of the process starts logging and the factory.
    static NpapiPluginModule* GetModule(const void* key);
    // Deletes the module for key; when that was the last one, ends the
    // factory and logging. A key with no module changes nothing.
    static void ReleaseModule(const void* key);
    // The thread-asynchronous entry of every table the module copies: any
    // thread; hands the call to the one-shot manager of the process.
    static void scheduleAsyncCallback(NPP npp, void (*func)(void*), void* userData);

    // Copies the browser's table (see copyNPBrowserFuncs).
    void setNetscapeFuncs(const NPNetscapeFuncs* browserFuncs);
    // Gives the browser the thirteen NPP entry points; the table's other
    // fields keep what the browser put there.
    void getPluginFuncs(NPPluginFuncs* pluginFuncs) const;
    // Plug-in API version 0.27 and the browser's major and minor version.
    void Version(int* plugin_major, int* plugin_minor, int* netscape_major,
                 int* netscape_minor) const;

    // Marks the operations that belong to the main thread; it checks nothing.
    void assertMainThread() const {}
    bool isMainThread() const;

    // The browser functions; each answers a fixed value when the browser's
    // table lacks the entry. Memory may be used from any thread.
    void* MemAlloc(std::uint32_t size) const;
    void MemFree(void* ptr) const;
    std::uint32_t MemFlush(std::uint32_t size) const;
    void ReloadPlugins(NPBool reloadPages) const;
    void ReleaseVariantValue(NPVariant* variant) const;
    NPIdentifier GetStringIdentifier(const NPUTF8* name) const;
    void GetStringIdentifiers(const NPUTF8** names, std::int32_t nameCount,
                              NPIdentifier* identifiers) const;
    NPIdentifier GetIntIdentifier(std::int32_t intid) const;
    bool IdentifierIsString(NPIdentifier identifier) const;
    NPUTF8* UTF8FromIdentifier(NPIdentifier identifier) const;
    std::int32_t IntFromIdentifier(NPIdentifier identifier) const;
    NPObject* RetainObject(NPObject* npobj) const;
    void ReleaseObject(NPObject* npobj) const;

    // The identifier's text ("" when the browser gives none); the browser's
    // copy is freed.
    std::string StringFromIdentifier(NPIdentifier identifier) const;

    // Any thread: gives a page object's reference back to the browser, at
    // once on the main thread, otherwise at the next DoDeferredRelease. For
    // page objects that outlive the host of their instance.
    void deferred_release(NPObject* obj) const;
    // Main thread: releases what deferred_release queued.
    void DoDeferredRelease() const;
    // Any thread: deferred_release on the module while it exists; once it has
    // been destroyed (NP_Shutdown) the browser has gone, and nothing is given
    // back. For page objects that outlive the module itself.
    static void deferredReleaseIfLive(const NpapiPluginModule* module, NPObject* obj);

    // The entry points of every plug-in instance, on the browser's main
    // thread. No exception leaves them: one that would is logged and the
    // entry point answers failure.
    static NPError NPP_New(NPMIMEType pluginType, NPP instance, std::uint16_t mode,
                           std::int16_t argc, char* argn[], char* argv[], NPSavedData* saved);
    static NPError NPP_Destroy(NPP instance, NPSavedData** save);
    static NPError NPP_SetWindow(NPP instance, NPWindow* window);
    static NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                                 std::uint16_t* stype);
    static NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
    static std::int32_t NPP_WriteReady(NPP instance, NPStream* stream);
    static std::int32_t NPP_Write(NPP instance, NPStream* stream, std::int32_t offset,
                                  std::int32_t len, void* buffer);
    static void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname);
    static void NPP_Print(NPP instance, NPPrint* platformPrint);
    static std::int16_t NPP_HandleEvent(NPP instance, void* event);
    static void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);
    static NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value);
    static NPError NPP_SetValue(NPP instance, NPNVariable variable, void* value);

    NPNetscapeFuncs NPNFuncs;

private:
    boost::thread::id m_threadId;
    mutable SafeQueue<NPObject*> m_deferredReleases;

    static std::map<const void*, NpapiPluginModule*> m_modules;
    // Every module constructed and not yet destroyed, guarded by its lock, so
    // that a page object released on another thread never reaches a module
    // that the main thread has destroyed.
    static std::set<const NpapiPluginModule*> s_liveModules;
    static boost::mutex s_liveModulesLock;
    static std::int32_t PluginModuleInitialized;
};

} // namespace Npapi
} // namespace FB
