#include "NpapiPluginModule.h"

#include "Assertion.h"
#include "BrowserHost.h"
#include "FactoryBase.h"
#include "NpapiTypes.h"
#include "OneShotManager.h"
#include "PluginCore.h"
#include "logging.h"

#include <cstring>
#include <memory>

namespace FB {
namespace Npapi {

namespace {

// The plug-in API version the module reports.
const int pluginMajorVersion = 0;
const int pluginMinorVersion = 27;

} // namespace

std::map<const void*, NpapiPluginModule*> NpapiPluginModule::m_modules;
std::set<const NpapiPluginModule*> NpapiPluginModule::s_liveModules;
boost::mutex NpapiPluginModule::s_liveModulesLock;
std::int32_t NpapiPluginModule::PluginModuleInitialized = 0;

NpapiPluginModule::NpapiPluginModule() : m_threadId(boost::this_thread::get_id()) {
    std::memset(&NPNFuncs, 0, sizeof NPNFuncs);
    boost::lock_guard<boost::mutex> lock(s_liveModulesLock);
    s_liveModules.insert(this);
}

NpapiPluginModule::~NpapiPluginModule() {
    {
        boost::lock_guard<boost::mutex> lock(s_liveModulesLock);
        s_liveModules.erase(this);
    }
    DoDeferredRelease();
}

// The first module of the process starts the module's global state.
NpapiPluginModule* NpapiPluginModule::GetModule(const void* key) {
    if (PluginModuleInitialized == 0) {
        Log::initLogging();
        getFactoryInstance()->globalPluginInitialize();
    }
    const auto found = m_modules.find(key);
    if (found != m_modules.end()) {
        return found->second;
    }
    std::unique_ptr<NpapiPluginModule> module(new NpapiPluginModule());
    m_modules[key] = module.get();
    ++PluginModuleInitialized;
    return module.release();
}

// With the last module gone the factory ends, no host or plug-in core may
// still exist, and logging stops.
void NpapiPluginModule::ReleaseModule(const void* key) {
    const auto found = m_modules.find(key);
    if (found == m_modules.end()) {
        return;
    }
    delete found->second;
    m_modules.erase(found);
    --PluginModuleInitialized;
    if (PluginModuleInitialized == 0) {
        getFactoryInstance()->globalPluginDeinitialize();
        checkAssertion(BrowserHost::getInstanceCount() == 0,
                       "BrowserHost::getInstanceCount() == 0");
        checkAssertion(PluginCore::getActivePluginCount() == 0,
                       "PluginCore::getActivePluginCount() == 0");
        Log::stopLogging();
    }
}

void NpapiPluginModule::scheduleAsyncCallback(NPP npp, void (*func)(void*), void* userData) {
    OneShotManager::getInstance().npp_scheduleAsyncCallback(npp, func, userData);
}

void NpapiPluginModule::setNetscapeFuncs(const NPNetscapeFuncs* browserFuncs) {
    copyNPBrowserFuncs(&NPNFuncs, browserFuncs, nullptr);
}

void NpapiPluginModule::getPluginFuncs(NPPluginFuncs* pluginFuncs) const {
    pluginFuncs->newp = &NPP_New;
    pluginFuncs->destroy = &NPP_Destroy;
    pluginFuncs->setwindow = &NPP_SetWindow;
    pluginFuncs->newstream = &NPP_NewStream;
    pluginFuncs->destroystream = &NPP_DestroyStream;
    pluginFuncs->asfile = &NPP_StreamAsFile;
    pluginFuncs->writeready = &NPP_WriteReady;
    pluginFuncs->write = &NPP_Write;
    pluginFuncs->print = &NPP_Print;
    pluginFuncs->event = &NPP_HandleEvent;
    pluginFuncs->urlnotify = &NPP_URLNotify;
    pluginFuncs->getvalue = &NPP_GetValue;
    pluginFuncs->setvalue = &NPP_SetValue;
}

void NpapiPluginModule::Version(int* plugin_major, int* plugin_minor, int* netscape_major,
                                int* netscape_minor) const {
    *plugin_major = pluginMajorVersion;
    *plugin_minor = pluginMinorVersion;
    *netscape_major = NPNFuncs.version >> 8;
    *netscape_minor = NPNFuncs.version & 0xFF;
}

bool NpapiPluginModule::isMainThread() const {
    return boost::this_thread::get_id() == m_threadId;
}

void* NpapiPluginModule::MemAlloc(std::uint32_t size) const {
    return callOr(NPNFuncs.memalloc, static_cast<void*>(nullptr), size);
}

void NpapiPluginModule::MemFree(void* ptr) const {
    callIfPresent(NPNFuncs.memfree, ptr);
}

std::uint32_t NpapiPluginModule::MemFlush(std::uint32_t size) const {
    assertMainThread();
    return callOr(NPNFuncs.memflush, std::uint32_t(0), size);
}

void NpapiPluginModule::ReloadPlugins(NPBool reloadPages) const {
    assertMainThread();
    callIfPresent(NPNFuncs.reloadplugins, reloadPages);
}

void NpapiPluginModule::ReleaseVariantValue(NPVariant* variant) const {
    assertMainThread();
    callIfPresent(NPNFuncs.releasevariantvalue, variant);
}

NPIdentifier NpapiPluginModule::GetStringIdentifier(const NPUTF8* name) const {
    assertMainThread();
    return callOr(NPNFuncs.getstringidentifier, NPIdentifier(nullptr), name);
}

void NpapiPluginModule::GetStringIdentifiers(const NPUTF8** names, std::int32_t nameCount,
                                             NPIdentifier* identifiers) const {
    assertMainThread();
    callIfPresent(NPNFuncs.getstringidentifiers, names, nameCount, identifiers);
}

NPIdentifier NpapiPluginModule::GetIntIdentifier(std::int32_t intid) const {
    assertMainThread();
    return callOr(NPNFuncs.getintidentifier, NPIdentifier(nullptr), intid);
}

bool NpapiPluginModule::IdentifierIsString(NPIdentifier identifier) const {
    assertMainThread();
    return callOr(NPNFuncs.identifierisstring, true, identifier);
}

NPUTF8* NpapiPluginModule::UTF8FromIdentifier(NPIdentifier identifier) const {
    assertMainThread();
    return callOr(NPNFuncs.utf8fromidentifier, static_cast<NPUTF8*>(nullptr), identifier);
}

std::int32_t NpapiPluginModule::IntFromIdentifier(NPIdentifier identifier) const {
    assertMainThread();
    return callOr(NPNFuncs.intfromidentifier, std::int32_t(1), identifier);
}

NPObject* NpapiPluginModule::RetainObject(NPObject* npobj) const {
    assertMainThread();
    return callOr(NPNFuncs.retainobject, npobj, npobj);
}

void NpapiPluginModule::ReleaseObject(NPObject* npobj) const {
    assertMainThread();
    callIfPresent(NPNFuncs.releaseobject, npobj);
}

std::string NpapiPluginModule::StringFromIdentifier(NPIdentifier identifier) const {
    NPUTF8* const text = UTF8FromIdentifier(identifier);
    std::string result;
    if (text) {
        result = text;
    }
    MemFree(text);
    return result;
}

void NpapiPluginModule::deferred_release(NPObject* obj) const {
    m_deferredReleases.push(obj);
    if (isMainThread()) {
        DoDeferredRelease();
    }
}

void NpapiPluginModule::deferredReleaseIfLive(const NpapiPluginModule* module, NPObject* obj) {
    {
        boost::lock_guard<boost::mutex> lock(s_liveModulesLock);
        if (s_liveModules.count(module) == 0) {
            return;
        }
        module->m_deferredReleases.push(obj);
    }
    // Modules are destroyed on the main thread, so here it still exists.
    if (module->isMainThread()) {
        module->DoDeferredRelease();
    }
}

void NpapiPluginModule::DoDeferredRelease() const {
    assertMainThread();
    NPObject* obj = nullptr;
    while (m_deferredReleases.try_pop(obj)) {
        ReleaseObject(obj);
    }
}

} // namespace Npapi
} // namespace FB
