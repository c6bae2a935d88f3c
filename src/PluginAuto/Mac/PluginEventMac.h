#pragma once

// FB::PluginEventMac: turns the events of one event model, as the browser
// delivers them to NPP_HandleEvent, into the framework's events, sent to
// the observers of the instance's window. It does nothing until it has a
// window, and nothing once the window is gone.

#include "FactoryBase.h"

#include <NPAPI.h>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>

namespace FB {

// No event model agreed with the browser.
const NPEventModel NoEventModel = static_cast<NPEventModel>(-1);

class PluginEventMac {
public:
    // Agrees the Cocoa event model with the browser when the drawing model
    // allows it; NoEventModel otherwise. Logs the outcome.
    static NPEventModel initPluginEventMac(const Npapi::NpapiBrowserHostPtr& host,
                                           NPDrawingModel drawingModel);
    // A new translator for the event model, made by the factory; NULL for
    // any model but Cocoa. The caller owns it.
    static PluginEventMac* createPluginEventMac(NPEventModel eventModel);

    virtual ~PluginEventMac() = default;

    virtual NPEventModel getEventModel() const = 0;
    // 1 when an observer handled the event, 0 otherwise.
    virtual std::int16_t HandleEvent(void* event) = 0;

    // Kept weakly: the window belongs to the plug-in object.
    void setPluginWindow(boost::shared_ptr<PluginWindowMac> window);

protected:
    boost::weak_ptr<PluginWindowMac> m_pluginWindow;
};

// The Carbon event model is never agreed; asking for its translator is a
// programming error (std::logic_error "false").
PluginEventMac* createPluginEventMacCarbon();

} // namespace FB
