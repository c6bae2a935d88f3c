#pragma once

// A Cocoa event exactly as the browser delivered it, offered to the
// window's observers before it is translated into the framework's events.

#include "PluginEvent.h"

#include <NPAPI.h>

namespace FB {

class MacEventCocoa : public PluginEvent {
public:
    // Copies the whole record; the strings it points to stay the browser's.
    explicit MacEventCocoa(NPCocoaEvent* event) : m_event(*event) {}

    NPCocoaEvent m_event;
};

} // namespace FB
