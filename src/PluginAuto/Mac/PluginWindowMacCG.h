#pragma once

// FB::PluginWindowMacCG: the window of the CoreGraphics drawing model. It
// keeps the drawing context the browser gives with each NPP_SetWindow,
// reports a new context as ChangedEvent, and, when asked to, draws a
// frame-rate label in the top left corner over each frame after the
// plug-in has drawn.

#include "PluginWindowMac.h"

#include <cstdint>
#include <list>

namespace FB {

class PluginWindowMacCG : public PluginWindowMac {
public:
    // Draws the label after the observers when the event is a draw request.
    bool SendEvent(PluginEvent* evt) override;
    // A new context sends ChangedEvent, then ResizedEvent and
    // ClipChangedEvent for whatever else changed with it. A NULL context
    // record keeps the context there is.
    NPError SetWindow(NPWindow* window) override;
    NPDrawingModel getDrawingModel() const override { return NPDrawingModelCoreGraphics; }
    void* getDrawingPrimitive() const override { return m_cgContext.context; }
    void* getWindowRef() const override { return m_cgContext.window; }

    // The label "CoreGraphics <rate> fps #<frame>", the rate taken over the
    // last 100 labels. A NULL context draws nothing.
    void DrawLabel(CGContext* context);

private:
    // Takes the record when it is there and differs from the one kept.
    bool takeContext(const NP_CGContext* record);
    // Labels per second over the kept times; 0 before time has passed.
    double frameRate() const;

    NP_CGContext m_cgContext = {nullptr, nullptr};
    std::int64_t m_frameCount = 0;
    // Microseconds, newest first.
    std::list<std::uint64_t> m_frameTimes;
};

} // namespace FB
