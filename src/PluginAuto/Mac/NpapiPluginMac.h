#pragma once

// FB::Npapi::NpapiPluginMac: the NPAPI plug-in object of an instance on
// macOS. It tells the plug-in core its platform and path, agrees the
// CoreGraphics drawing model and the Cocoa event model with the browser,
// has the factory make the window and the event translator, wires them
// together, and routes the browser's window, event, value and timer calls
// to them. Main thread only.

#include "NpapiPlugin.h"

#include <NPAPI.h>

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>

namespace FB {

class PluginWindowMac;
class PluginEventMac;

namespace Npapi {

class NpapiPluginMac : public NpapiPlugin {
public:
    NpapiPluginMac(const NpapiBrowserHostPtr& host, const std::string& mimetype);
    // Lets go of the translator, then the window.
    ~NpapiPluginMac() override;

    // The base's work, then the models, the window and the translator. The
    // parameter "drawingmodel" names the model to agree; "showdrawingmodel"
    // other than "0" shows the drawing model's frame-rate label.
    void init(NPMIMEType pluginType, std::int16_t argc, char* argn[], char* argv[]) override;
    // A NULL window drops the window for good; otherwise the window takes
    // the browser's geometry and is attached to the core when the core has
    // none.
    NPError SetWindow(NPWindow* window) override;
    // 1 when an observer of the window handled the event.
    std::int16_t HandleEvent(void* event) override;
    // The Core Animation layer question attaches the window to the core
    // when the core has none; 1 without a window. Other questions go to the
    // base.
    NPError GetValue(NPPVariable variable, void* value) override;

    // A browser timer of the window fired.
    void HandleTimerEvent(std::uint32_t timerId);

private:
    void attachWindowToCore();

    NPEventModel m_eventModel;
    NPDrawingModel m_drawingModel;
    boost::shared_ptr<PluginWindowMac> m_window;
    boost::shared_ptr<PluginEventMac> m_eventHandler;
};

} // namespace Npapi
} // namespace FB
