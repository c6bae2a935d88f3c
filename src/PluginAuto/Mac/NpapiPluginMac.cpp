#include "NpapiPluginMac.h"

#include "PluginEventMac.h"
#include "PluginWindowMac.h"
#include "logging.h"

#include <boost/make_shared.hpp>
#include <boost/optional.hpp>
#include <dlfcn.h>

namespace FB {
namespace Npapi {

namespace {

// The file of the module's own executable; "" when the loader cannot say.
std::string getPluginPath() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&NP_Initialize), &info) == 0 || !info.dli_fname) {
        return "";
    }
    return info.dli_fname;
}

} // namespace

boost::shared_ptr<NpapiPlugin> createNpapiPlugin(const NpapiBrowserHostPtr& host,
                                                 const std::string& mimetype) {
    return boost::make_shared<NpapiPluginMac>(host, mimetype);
}

NpapiPluginMac::NpapiPluginMac(const NpapiBrowserHostPtr& host, const std::string& mimetype)
    : NpapiPlugin(host, mimetype), m_eventModel(NoEventModel), m_drawingModel(NoDrawingModel) {
    PluginCore::setPlatform("Mac", "NPAPI");
    static const std::string pluginPath = getPluginPath();
    setFSPath(pluginPath);
}

NpapiPluginMac::~NpapiPluginMac() {
    m_eventHandler.reset();
    m_window.reset();
}

void NpapiPluginMac::init(NPMIMEType pluginType, std::int16_t argc, char* argn[], char* argv[]) {
    NpapiPlugin::init(pluginType, argc, argn, argv);
    const boost::optional<std::string> drawingModel = pluginMain->getParam("drawingmodel");
    m_drawingModel = drawingModel
                         ? PluginWindowMac::initPluginWindowMac(m_browserHost, *drawingModel)
                         : PluginWindowMac::initPluginWindowMac(m_browserHost);
    m_eventModel = PluginEventMac::initPluginEventMac(m_browserHost, m_drawingModel);
    m_eventHandler.reset(PluginEventMac::createPluginEventMac(m_eventModel));
    m_window.reset(PluginWindowMac::createPluginWindowMac(m_drawingModel));
    if (!m_window) {
        return;
    }
    m_window->setNpHost(m_browserHost);
    if (m_eventHandler) {
        m_eventHandler->setPluginWindow(m_window);
    }
    m_window->setPluginEvent(m_eventHandler);
    const boost::optional<std::string> showDrawingModel = pluginMain->getParam("showdrawingmodel");
    if (showDrawingModel && *showDrawingModel != "0") {
        m_window->setShowDrawingModel(true);
    }
}

void NpapiPluginMac::attachWindowToCore() {
    if (!pluginMain->GetWindow()) {
        pluginMain->SetWindow(m_window.get());
    }
}

NPError NpapiPluginMac::SetWindow(NPWindow* window) {
    if (!window) {
        pluginMain->ClearWindow();
        m_window.reset();
        return NPERR_NO_ERROR;
    }
    if (!m_window) {
        return NPERR_NO_ERROR;
    }
    const NPError result = m_window->SetWindow(window);
    attachWindowToCore();
    return result;
}

std::int16_t NpapiPluginMac::HandleEvent(void* event) {
    return m_eventHandler ? m_eventHandler->HandleEvent(event) : 0;
}

NPError NpapiPluginMac::GetValue(NPPVariable variable, void* value) {
    if (variable != NPPVpluginCoreAnimationLayer) {
        return NpapiPlugin::GetValue(variable, value);
    }
    NPError result = NPERR_GENERIC_ERROR;
    if (m_window) {
        result = m_window->GetValue(variable, value);
        attachWindowToCore();
    }
    FBLOG_INFO("PluginCore", "GetValue(NPPVpluginCoreAnimationLayer)");
    return result;
}

void NpapiPluginMac::HandleTimerEvent(std::uint32_t timerId) {
    if (m_window) {
        m_window->handleTimerEvent(timerId);
    }
}

} // namespace Npapi
} // namespace FB
