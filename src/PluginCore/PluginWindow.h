#pragma once

// FB::PluginWindow: the drawing area the browser gives an instance. Input
// and window events reach the window's observers through it; the platform
// layer implements the window.

#include "PluginEventSource.h"
#include "Rect.h"

#include <cstdint>

namespace FB {

class PluginWindow : public PluginEventSource {
public:
    // Asks the browser to redraw the whole window.
    virtual void InvalidateWindow() const = 0;
    // In the browser's coordinates.
    virtual Rect getWindowPosition() const = 0;
    virtual std::uint32_t getWindowWidth() const = 0;
    virtual std::uint32_t getWindowHeight() const = 0;
    // The visible part of the window.
    virtual Rect getWindowClipping() const = 0;
};

} // namespace FB
