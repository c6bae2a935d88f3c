#include "PluginWindowMacCG.h"

#include "PluginEventMacCocoa.h"
#include "PluginEvents/GeneralEvents.h"
#include "PluginEvents/MacEventCocoa.h"

#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>

#include <cstdio>
#include <cstring>

namespace FB {

namespace {

const std::size_t keptFrameTimes = 100;

typedef Mac::Owned<CGColorSpace, CGColorSpaceRelease> ColorSpace;
typedef Mac::Owned<CGColor, CGColorRelease> Color;

std::uint64_t microsecondsNow() {
    UnsignedWide now;
    Microseconds(&now);
    return (static_cast<std::uint64_t>(now.hi) << 32) | now.lo;
}

// The context's graphics state, saved for the life of the scope.
class SavedGState {
public:
    explicit SavedGState(CGContextRef context) : m_context(context) {
        CGContextSaveGState(m_context);
    }
    ~SavedGState() { CGContextRestoreGState(m_context); }
    SavedGState(const SavedGState&) = delete;
    SavedGState& operator=(const SavedGState&) = delete;

private:
    CGContextRef m_context;
};

Color makeColor(const ColorSpace& space, CGFloat red, CGFloat green, CGFloat blue) {
    const CGFloat components[] = {red, green, blue, 1};
    return Color(CGColorCreate(space.get(), components));
}

bool isDrawRequest(const MacEventCocoa& evt) {
    return evt.m_event.type == NPCocoaEventDrawRect;
}

} // namespace

bool PluginWindowMacCG::SendEvent(PluginEvent* evt) {
    const bool handled = PluginWindowMac::SendEvent(evt);
    if (!m_showDrawingModel) {
        return handled;
    }
    if (evt->validType<CoreGraphicsDraw>()) {
        DrawLabel(evt->get<CoreGraphicsDraw>()->m_context);
    } else if (handled && evt->validType<MacEventCocoa>() &&
               isDrawRequest(*evt->get<MacEventCocoa>())) {
        DrawLabel(evt->get<MacEventCocoa>()->m_event.data.draw.context);
    }
    return handled;
}

bool PluginWindowMacCG::takeContext(const NP_CGContext* record) {
    if (!record ||
        (record->context == m_cgContext.context && record->window == m_cgContext.window)) {
        return false;
    }
    m_cgContext = *record;
    return true;
}

NPError PluginWindowMacCG::SetWindow(NPWindow* window) {
    if (!window || !takeContext(static_cast<const NP_CGContext*>(window->window))) {
        return PluginWindowMac::SetWindow(window);
    }
    const GeometryChange change = updateGeometry(*window);
    ChangedEvent changed;
    SendEvent(&changed);
    sendGeometryEvents(change);
    return NPERR_NO_ERROR;
}

double PluginWindowMacCG::frameRate() const {
    const double seconds =
        (static_cast<double>(m_frameTimes.front()) - static_cast<double>(m_frameTimes.back())) /
        1000000.0;
    return seconds > 0 ? m_frameTimes.size() / seconds : 0.0;
}

void PluginWindowMacCG::DrawLabel(CGContext* context) {
    if (!context) {
        return;
    }
    m_frameTimes.push_front(microsecondsNow());
    if (m_frameTimes.size() > keptFrameTimes) {
        m_frameTimes.pop_back();
    }
    const float rate = static_cast<float>(frameRate());

    const SavedGState saved(context);
    const ColorSpace space(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
    {
        const Color black = makeColor(space, 0, 0, 0);
        CGContextSetFillColorWithColor(context, black.get());
        CGContextFillRect(context, CGRectMake(0, 0, 400, 24));
    }
    char text[256];
    std::snprintf(text, sizeof text, "CoreGraphics %.01f fps #%lld", static_cast<double>(rate),
                  static_cast<long long>(m_frameCount));
    ++m_frameCount;
    {
        const Color green = makeColor(space, 0, 1, 0);
        CGContextSetStrokeColorWithColor(context, green.get());
        CGContextSetFillColorWithColor(context, green.get());
    }
    // The context is flipped; so is the text.
    CGContextSetTextMatrix(context, CGAffineTransformMake(1, 0, 0, -1, 0, 0));
    CGContextSelectFont(context, "Helvetica", 24, kCGEncodingMacRoman);
    CGContextShowTextAtPoint(context, 0, 19, text, std::strlen(text));
}

PluginWindowMac* createPluginWindowMacCG() {
    return new PluginWindowMacCG();
}

} // namespace FB
