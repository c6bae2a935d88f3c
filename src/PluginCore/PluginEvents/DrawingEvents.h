#pragma once

// A request to redraw an area of the window.

#include "PluginEvent.h"
#include "Rect.h"

namespace FB {

class RefreshEvent : public PluginEvent {
public:
    // No area: receivers of such an event do not read it.
    RefreshEvent() : m_bounds() {}
    explicit RefreshEvent(const Rect& bounds) : m_bounds(bounds) {}

    Rect m_bounds;
};

} // namespace FB
