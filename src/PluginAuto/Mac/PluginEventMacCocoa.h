#pragma once

// FB::PluginEventMacCocoa: the translator of the Cocoa event model. Each
// event is first offered as it came (FB::MacEventCocoa); only when no
// observer handles it is it translated into the framework's event and sent.
// FB::CoreGraphicsDraw is the drawing event it sends in the CoreGraphics
// drawing model.

#include "PluginEventMac.h"
#include "PluginEvents/DrawingEvents.h"

namespace FB {

// A request to draw into a CoreGraphics context: m_bounds is the window's
// position, m_clip the area to redraw.
class CoreGraphicsDraw : public RefreshEvent {
public:
    CoreGraphicsDraw(CGContext* context, const Rect& bounds, const Rect& clip)
        : RefreshEvent(bounds), m_context(context), m_clip(clip) {}

    // The browser's; may be NULL.
    CGContext* m_context;
    Rect m_clip;
};

class PluginEventMacCocoa : public PluginEventMac {
public:
    NPEventModel getEventModel() const override { return NPEventModelCocoa; }
    // event is an NPCocoaEvent*.
    std::int16_t HandleEvent(void* event) override;
    // Reports every modifier key pressed or released since the last call as
    // a key-down or key-up event of that key, in the order Shift, Control,
    // Option, Command; 1 when an observer handled any of them.
    std::int16_t ProcessModifiers(std::uint32_t modifierFlags);

private:
    bool translate(PluginWindowMac& window, const NPCocoaEvent& event);

    std::uint32_t m_lastModifierFlags = 0;
};

PluginEventMac* createPluginEventMacCocoa();

} // namespace FB
