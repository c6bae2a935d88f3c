#include "PluginEventMac.h"

#include "FactoryBase.h"
#include "ModelNegotiation.h"

#include <stdexcept>

namespace FB {

namespace {

bool allowsCocoaEvents(NPDrawingModel drawingModel) {
    return drawingModel == NPDrawingModelCoreAnimation ||
           drawingModel == NPDrawingModelInvalidatingCoreAnimation ||
           drawingModel == NPDrawingModelCoreGraphics;
}

} // namespace

NPEventModel PluginEventMac::initPluginEventMac(const Npapi::NpapiBrowserHostPtr& host,
                                                NPDrawingModel drawingModel) {
    if (allowsCocoaEvents(drawingModel) && Mac::supports(host, NPNVsupportsCocoaBool) &&
        Mac::set(host, NPPVpluginEventModel, Mac::modelValue(NPEventModelCocoa))) {
        FBLOG_INFO("PluginCore", "NPEventModel=NPEventModelCocoa");
        return NPEventModelCocoa;
    }
    FBLOG_INFO("PluginCore", "NPEventModel=NONE");
    return NoEventModel;
}

PluginEventMac* PluginEventMac::createPluginEventMac(NPEventModel eventModel) {
    if (eventModel == NPEventModelCocoa) {
        return getFactoryInstance()->createPluginEventMacCocoa();
    }
    return nullptr;
}

void PluginEventMac::setPluginWindow(boost::shared_ptr<PluginWindowMac> window) {
    m_pluginWindow = window;
}

PluginEventMac* createPluginEventMacCarbon() {
    throw std::logic_error("false");
}

} // namespace FB
