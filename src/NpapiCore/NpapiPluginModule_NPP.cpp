// The NPP entry points: what the browser calls for each plug-in instance.
// NPP_New builds the instance's host and plug-in object and keeps both in
// the instance's private data; the others check the instance, log, and
// forward to the plug-in object; NPP_Destroy ends both.

#include "NpapiPluginModule.h"

#include "Assertion.h"
#include "FactoryBase.h"
#include "NpapiBrowserHost.h"
#include "NpapiPlugin.h"
#include "NpapiTypes.h"
#include "OneShotManager.h"
#include "logging.h"

#include <boost/make_shared.hpp>
#include <boost/noncopyable.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <sstream>

namespace FB {
namespace Npapi {

namespace {

// Browsers before this NPAPI minor version get no thread-asynchronous entry
// in the module's own table; the hosts' copies always have the scheduler.
const std::uint16_t asyncCallsVersion = 19;

// What NPP_New keeps in an instance's private data. The instance is
// registered for one-shot calls while the holder lives.
class NpapiPDataHolder : private boost::noncopyable {
public:
    NpapiPDataHolder(const NpapiBrowserHostPtr& host, const boost::shared_ptr<NpapiPlugin>& plugin)
        : m_host(host), m_plugin(plugin) {
        OneShotManager::getInstance().npp_register(m_host->getContextID());
    }
    // Drops the instance's waiting one-shot calls, then the plug-in object
    // and the host.
    ~NpapiPDataHolder() {
        OneShotManager::getInstance().npp_unregister(m_host->getContextID());
        m_plugin.reset();
        m_host.reset();
    }

    NpapiBrowserHostPtr getHost() const { return m_host; }
    boost::shared_ptr<NpapiPlugin> getPlugin() const { return m_plugin; }

private:
    NpapiBrowserHostPtr m_host;
    boost::shared_ptr<NpapiPlugin> m_plugin;
};

bool validInstance(NPP instance) {
    return instance && instance->pdata;
}

NpapiPDataHolder* getHolder(NPP instance) {
    return validInstance(instance) ? static_cast<NpapiPDataHolder*>(instance->pdata) : nullptr;
}

std::string pointerText(const void* pointer) {
    std::ostringstream text;
    text << pointer;
    return text.str();
}

std::string textOf(const char* text) {
    return text ? std::string(text) : std::string();
}

bool needAsyncCallsWorkaround(NPP, const NPNetscapeFuncs* funcs) {
    return funcs->version < asyncCallsVersion;
}

// Decided by the first instance of the process.
bool asyncCallsWorkaround(NPP npp, const NPNetscapeFuncs* funcs) {
    static const bool useWorkaround = funcs && needAsyncCallsWorkaround(npp, funcs);
    return useWorkaround;
}

// Empty when the host cannot be made.
NpapiBrowserHostPtr createBrowserHost(NpapiPluginModule* module, NPP npp) {
    try {
        if (asyncCallsWorkaround(npp, &module->NPNFuncs)) {
            module->NPNFuncs.pluginthreadasynccall = nullptr;
        }
        return boost::make_shared<NpapiBrowserHost>(module, npp);
    } catch (...) {
        logFailure("NPP_New");
        return NpapiBrowserHostPtr();
    }
}

// Takes the holder out of the instance first, so that what the shutdowns
// call back finds no instance to end again; shuts the host and then the
// plug-in object down and deletes the holder, on every path. Nothing else
// may still own the host, except, when the instance is ended from within
// another of the module's calls (page code that the plug-in called), the
// frames of those calls: the host must then be gone once they have
// returned.
void endInstance(NPP instance) {
    boost::weak_ptr<NpapiBrowserHost> weakHost;
    {
        const std::unique_ptr<NpapiPDataHolder> holder(getHolder(instance));
        instance->pdata = nullptr;
        const NpapiBrowserHostPtr host = holder->getHost();
        weakHost = host;
        if (host) {
            host->shutdown();
        }
        if (const boost::shared_ptr<NpapiPlugin> plugin = holder->getPlugin()) {
            plugin->shutdown();
        }
    }
    if (weakHost.expired()) {
        return;
    }
    checkAssertion(EntryFrame::nested(), "weakHost.expired()");
    EntryFrame::expectReleased(weakHost, "NPP_Destroy: weakHost.expired()");
}

// An instance under construction: unless it is completed, what was made is
// undone: the instance is ended when its holder was stored (unless the page
// destroyed it meanwhile), otherwise the host is shut down.
class InstanceConstruction : private boost::noncopyable {
public:
    explicit InstanceConstruction(NPP instance) : m_instance(instance) {}
    ~InstanceConstruction() {
        if (m_completed) {
            return;
        }
        try {
            if (!m_held) {
                if (host) {
                    host->shutdown();
                }
            } else if (validInstance(m_instance)) {
                endInstance(m_instance);
            }
        } catch (...) {
            logFailure("NPP_New");
        }
    }

    // The holder takes the host and the plug-in object.
    void hold(const boost::shared_ptr<NpapiPlugin>& plugin) {
        m_instance->pdata = new NpapiPDataHolder(host, plugin);
        m_held = true;
        host.reset();
    }
    void complete() { m_completed = true; }

    NpapiBrowserHostPtr host;

private:
    NPP m_instance;
    bool m_held = false;
    bool m_completed = false;
};

NPError newInstance(const void* key, NPMIMEType pluginType, NPP instance, std::int16_t argc,
                    char* argn[], char* argv[]) {
    NpapiPluginModule* const module = NpapiPluginModule::GetModule(key);
    InstanceConstruction construction(instance);
    construction.host = createBrowserHost(module, instance);
    if (!construction.host) {
        return NPERR_GENERIC_ERROR;
    }
    construction.host->setBrowserFuncs(&module->NPNFuncs);
    const boost::shared_ptr<NpapiPlugin> plugin =
        getFactoryInstance()->createNpapiPlugin(construction.host, textOf(pluginType));
    if (!plugin) {
        return NPERR_OUT_OF_MEMORY_ERROR;
    }
    construction.hold(plugin);
    plugin->init(pluginType, argc, argn, argv);
    construction.complete();
    return NPERR_NO_ERROR;
}

NPError failedNew(const std::exception& e, NPError code) {
    std::printf("%s\n", e.what());
    return code;
}

// The answers about the module, for a browser that asks without an
// instance: the plug-in's name and the description of its MIME type, each
// fetched once.
NPError moduleValue(NPPVariable variable, void* value) {
    if (variable == NPPVpluginNameString) {
        static const std::string pluginName = getFactoryInstance()->getPluginName();
        *static_cast<const char**>(value) = pluginName.c_str();
        return NPERR_NO_ERROR;
    }
    if (variable == NPPVpluginDescriptionString) {
        static const std::string pluginDesc =
            getFactoryInstance()->getPluginDescription(getPluginMimeType());
        *static_cast<const char**>(value) = pluginDesc.c_str();
        return NPERR_NO_ERROR;
    }
    return NPERR_GENERIC_ERROR;
}

// The plug-in object's answer, or the failure code of a bad instance or an
// instance without a plug-in object.
template <class Result, class Call>
Result forward(NPP instance, Result badInstance, Result noPlugin, const Call& call) {
    if (!validInstance(instance)) {
        return badInstance;
    }
    const boost::shared_ptr<NpapiPlugin> plugin = getPlugin(instance);
    if (!plugin) {
        return noPlugin;
    }
    return call(*plugin);
}

} // namespace

boost::shared_ptr<NpapiPlugin> getPlugin(NPP instance) {
    const NpapiPDataHolder* const holder = getHolder(instance);
    return holder ? holder->getPlugin() : boost::shared_ptr<NpapiPlugin>();
}

// The module is the one of the image that called, as for the exported
// entry points.
NPError NpapiPluginModule::NPP_New(NPMIMEType pluginType, NPP instance, std::uint16_t,
                                   std::int16_t argc, char* argn[], char* argv[], NPSavedData*) {
    const void* const caller = __builtin_return_address(0);
    const EntryFrame frame;
    try {
        FBLOG_INFO("NPAPI", "NPP_New: " + pointerText(instance));
        if (!instance) {
            return NPERR_INVALID_INSTANCE_ERROR;
        }
        return newInstance(callerImage(caller), pluginType, instance, argc, argn, argv);
    } catch (const PluginCreateError& e) {
        return failedNew(e, NPERR_INCOMPATIBLE_VERSION_ERROR);
    } catch (const std::bad_alloc& e) {
        return failedNew(e, NPERR_OUT_OF_MEMORY_ERROR);
    } catch (const std::exception& e) {
        return failedNew(e, NPERR_GENERIC_ERROR);
    } catch (...) {
        logFailure("NPP_New");
        return NPERR_GENERIC_ERROR;
    }
}

NPError NpapiPluginModule::NPP_Destroy(NPP instance, NPSavedData**) {
    return exceptionBarrier("NPP_Destroy", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_INFO("NPAPI", "NPP_Destroy: " + pointerText(instance));
        if (!validInstance(instance)) {
            return NPError(NPERR_INVALID_INSTANCE_ERROR);
        }
        endInstance(instance);
        return NPError(NPERR_NO_ERROR);
    });
}

NPError NpapiPluginModule::NPP_SetWindow(NPP instance, NPWindow* window) {
    return exceptionBarrier("NPP_SetWindow", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_TRACE("NPAPI", pointerText(instance));
        return forward(instance, NPError(NPERR_INVALID_INSTANCE_ERROR), NPError(NPERR_NO_ERROR),
                       [&](NpapiPlugin& plugin) {
                           return pluginGuiEnabled() ? plugin.SetWindow(window)
                                                     : NPError(NPERR_NO_ERROR);
                       });
    });
}

NPError NpapiPluginModule::NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream,
                                         NPBool seekable, std::uint16_t* stype) {
    return exceptionBarrier("NPP_NewStream", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        return forward(
            instance, NPError(NPERR_INVALID_INSTANCE_ERROR), NPError(NPERR_GENERIC_ERROR),
            [&](NpapiPlugin& plugin) { return plugin.NewStream(type, stream, seekable, stype); });
    });
}

NPError NpapiPluginModule::NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason) {
    return exceptionBarrier("NPP_DestroyStream", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        return forward(instance, NPError(NPERR_INVALID_INSTANCE_ERROR),
                       NPError(NPERR_GENERIC_ERROR),
                       [&](NpapiPlugin& plugin) { return plugin.DestroyStream(stream, reason); });
    });
}

// Byte counts: every failure is -1.
std::int32_t NpapiPluginModule::NPP_WriteReady(NPP instance, NPStream* stream) {
    return exceptionBarrier("NPP_WriteReady", std::int32_t(-1), [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        return forward(instance, std::int32_t(-1), std::int32_t(-1),
                       [&](NpapiPlugin& plugin) { return plugin.WriteReady(stream); });
    });
}

std::int32_t NpapiPluginModule::NPP_Write(NPP instance, NPStream* stream, std::int32_t offset,
                                          std::int32_t len, void* buffer) {
    return exceptionBarrier("NPP_Write", std::int32_t(-1), [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        return forward(instance, std::int32_t(-1), std::int32_t(-1), [&](NpapiPlugin& plugin) {
            return plugin.Write(stream, offset, len, buffer);
        });
    });
}

void NpapiPluginModule::NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname) {
    exceptionBarrier("NPP_StreamAsFile", [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        if (const boost::shared_ptr<NpapiPlugin> plugin = getPlugin(instance)) {
            plugin->StreamAsFile(stream, fname);
        }
    });
}

void NpapiPluginModule::NPP_Print(NPP instance, NPPrint* platformPrint) {
    exceptionBarrier("NPP_Print", [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        if (const boost::shared_ptr<NpapiPlugin> plugin = getPlugin(instance)) {
            plugin->Print(platformPrint);
        }
    });
}

std::int16_t NpapiPluginModule::NPP_HandleEvent(NPP instance, void* event) {
    return exceptionBarrier("NPP_HandleEvent", std::int16_t(0), [&] {
        FBLOG_TRACE("NPAPI", pointerText(instance));
        return forward(instance, std::int16_t(0), std::int16_t(0),
                       [&](NpapiPlugin& plugin) { return plugin.HandleEvent(event); });
    });
}

void NpapiPluginModule::NPP_URLNotify(NPP instance, const char* url, NPReason reason,
                                      void* notifyData) {
    exceptionBarrier("NPP_URLNotify", [&] {
        FBLOG_INFO("NPAPI", pointerText(instance));
        if (const boost::shared_ptr<NpapiPlugin> plugin = getPlugin(instance)) {
            plugin->URLNotify(url, reason, notifyData);
        }
    });
}

// Without an instance the browser asks about the module; an instance
// without its plug-in object or host has nothing to answer.
NPError NpapiPluginModule::NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
    return exceptionBarrier("NPP_GetValue", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_TRACE("NPAPI", pointerText(instance));
        const NpapiPDataHolder* const holder = getHolder(instance);
        if (!holder) {
            return moduleValue(variable, value);
        }
        const boost::shared_ptr<NpapiPlugin> plugin = holder->getPlugin();
        if (!plugin || !holder->getHost()) {
            return NPError(NPERR_GENERIC_ERROR);
        }
        return plugin->GetValue(variable, value);
    });
}

NPError NpapiPluginModule::NPP_SetValue(NPP instance, NPNVariable variable, void* value) {
    return exceptionBarrier("NPP_SetValue", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_TRACE("NPAPI", pointerText(instance) + "variable: " +
                                 pointerText(reinterpret_cast<const void*>(
                                     static_cast<std::intptr_t>(variable))));
        return forward(instance, NPError(NPERR_INVALID_INSTANCE_ERROR),
                       NPError(NPERR_GENERIC_ERROR),
                       [&](NpapiPlugin& plugin) { return plugin.SetValue(variable, value); });
    });
}

} // namespace Npapi
} // namespace FB
