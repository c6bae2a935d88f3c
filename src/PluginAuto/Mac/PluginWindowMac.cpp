#include "PluginWindowMac.h"

#include "FactoryBase.h"
#include "ModelNegotiation.h"
#include "NpapiBrowserHost.h"
#include "NpapiPluginMac.h"
#include "NpapiTypes.h"
#include "PluginEvents/GeneralEvents.h"

#include <boost/bind/bind.hpp>
#include <cmath>
#include <sstream>
#include <stdexcept>

// The target of the auto-invalidation timer, and the receiver of the starts
// and stops asked for off the main thread. Its messages run on the main
// thread; each finds the window through a pointer that the window clears
// when it goes (it is not retained). Nothing may leave them into the run loop.
class PluginWindowMac_helper : public NSObject {
public:
    void setIca(FB::PluginWindowMac* window) { m_ica = window; }
    FB::PluginWindowMac* ica() const { return m_ica; }

    // The timer's action: each tick invalidates the window.
    void fired(id) {
        if (m_ica) {
            FB::Npapi::exceptionBarrier("AutoInvalidate", [this] { m_ica->InvalidateWindow(); });
        }
    }
    // The argument is a PluginWindowMac_interval.
    void start(id interval);
    void stop(id) {
        if (m_ica) {
            FB::Npapi::exceptionBarrier("AutoInvalidate", [this] { m_ica->StopAutoInvalidate(); });
        }
    }

protected:
    ~PluginWindowMac_helper() override = default;

private:
    FB::PluginWindowMac* m_ica = nullptr;
};

// The interval of a start, carried to the main thread.
class PluginWindowMac_interval : public NSObject {
public:
    explicit PluginWindowMac_interval(double seconds) : m_seconds(seconds) {}
    double seconds() const { return m_seconds; }

protected:
    ~PluginWindowMac_interval() override = default;

private:
    const double m_seconds;
};

void PluginWindowMac_helper::start(id interval) {
    const double seconds = static_cast<PluginWindowMac_interval*>(interval)->seconds();
    if (m_ica) {
        FB::Npapi::exceptionBarrier("AutoInvalidate", [&] { m_ica->StartAutoInvalidate(seconds); });
    }
}

namespace FB {

namespace {

// The browser's call when a timer of the window fires: the tick goes to the
// window of the instance's plug-in object; an instance that is gone, or not
// a macOS plug-in, is ignored.
void timerCallback(NPP npp, std::uint32_t timerId) {
    Npapi::exceptionBarrier("timer", [&] {
        const boost::shared_ptr<Npapi::NpapiPluginMac> plugin =
            ptr_cast<Npapi::NpapiPluginMac>(Npapi::getPlugin(npp));
        if (plugin) {
            plugin->HandleTimerEvent(timerId);
        }
    });
}

} // namespace

// --- Drawing-model negotiation ------------------------------------------------------

NPDrawingModel PluginWindowMac::initPluginWindowMac(const Npapi::NpapiBrowserHostPtr& host,
                                                    const std::string& drawingModel) {
    if (drawingModel != "NPDrawingModelCoreGraphics") {
        FBLOG_INFO("PluginCore", "NPDrawingModel=NONE");
        return NoDrawingModel;
    }
    NPDrawingModel model = NoDrawingModel;
    initPluginWindowMac_CG(host, model);
    return model;
}

NPDrawingModel PluginWindowMac::initPluginWindowMac(const Npapi::NpapiBrowserHostPtr& host) {
    NPDrawingModel model = NoDrawingModel;
    if (!initPluginWindowMac_CG(host, model)) {
        FBLOG_INFO("PluginCore", "NPDrawingModel=NONE");
    }
    return model;
}

bool PluginWindowMac::initPluginWindowMac_CG(const Npapi::NpapiBrowserHostPtr& host,
                                             NPDrawingModel& drawingModel) {
    drawingModel = NoDrawingModel;
    if (!Mac::supports(host, NPNVsupportsCoreGraphicsBool) ||
        !Mac::set(host, NPPVpluginDrawingModel, Mac::modelValue(NPDrawingModelCoreGraphics))) {
        return false;
    }
    FBLOG_INFO("PluginCore", "NPDrawingModel=NPDrawingModelCoreGraphics");
    drawingModel = NPDrawingModelCoreGraphics;
    return true;
}

PluginWindowMac* PluginWindowMac::createPluginWindowMac(NPDrawingModel drawingModel) {
    if (drawingModel == NPDrawingModelCoreGraphics) {
        return getFactoryInstance()->createPluginWindowMacCG();
    }
    return nullptr;
}

// --- Life ---------------------------------------------------------------------------

PluginWindowMac::PluginWindowMac()
    : m_showDrawingModel(false), m_x(0), m_y(0), m_width(0), m_height(0), m_clipTop(0),
      m_clipLeft(0), m_clipBottom(0), m_clipRight(0), m_helper(new PluginWindowMac_helper()) {
    m_helper->setIca(this);
}

PluginWindowMac::~PluginWindowMac() {
    stopTimer();
    m_helper->setIca(nullptr);
}

// --- Geometry -----------------------------------------------------------------------

Rect PluginWindowMac::getWindowPosition() const {
    return Rect{m_y, m_x, static_cast<std::int32_t>(m_y + m_height),
                static_cast<std::int32_t>(m_x + m_width)};
}

Rect PluginWindowMac::getWindowClipping() const {
    return Rect{m_clipTop, m_clipLeft, m_clipBottom, m_clipRight};
}

PluginWindowMac::GeometryChange PluginWindowMac::updateGeometry(const NPWindow& window) {
    GeometryChange change;
    change.resized =
        window.x != m_x || window.y != m_y || window.width != m_width || window.height != m_height;
    if (change.resized) {
        m_x = window.x;
        m_y = window.y;
        m_width = window.width;
        m_height = window.height;
    }
    const NPRect& clip = window.clipRect;
    change.clipChanged = clip.top != m_clipTop || clip.left != m_clipLeft ||
                         clip.bottom != m_clipBottom || clip.right != m_clipRight;
    if (change.clipChanged) {
        m_clipTop = clip.top;
        m_clipLeft = clip.left;
        m_clipBottom = clip.bottom;
        m_clipRight = clip.right;
    }
    return change;
}

void PluginWindowMac::sendGeometryEvents(const GeometryChange& change) {
    if (change.resized) {
        ResizedEvent evt;
        SendEvent(&evt);
    }
    if (change.clipChanged) {
        ClipChangedEvent evt;
        SendEvent(&evt);
    }
}

NPError PluginWindowMac::SetWindow(NPWindow* window) {
    if (window) {
        sendGeometryEvents(updateGeometry(*window));
    }
    return NPERR_NO_ERROR;
}

NPError PluginWindowMac::GetValue(NPPVariable, void*) {
    return NPERR_NO_ERROR;
}

// --- Redrawing ----------------------------------------------------------------------

void PluginWindowMac::InvalidateWindow() const {
    FBLOG_TRACE("PluginCore", "InvalidateWindow");
    if (!m_npHost) {
        return;
    }
    const NPRect rect = {0, 0, static_cast<std::uint16_t>(m_height),
                         static_cast<std::uint16_t>(m_width)};
    if (m_npHost->isMainThread()) {
        NPRect request = rect;
        m_npHost->InvalidateRect(&request);
    } else {
        m_npHost->ScheduleOnMainThread(
            m_npHost, boost::bind(&Npapi::NpapiBrowserHost::InvalidateRect2, m_npHost.get(), rect));
    }
}

void PluginWindowMac::StartAutoInvalidate(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds)) {
        throw std::invalid_argument("The auto-invalidate interval must be a positive number "
                                    "of seconds");
    }
    if (!NSThread::isMainThread()) {
        const Mac::OwnedObject<PluginWindowMac_interval> interval(
            new PluginWindowMac_interval(seconds));
        m_helper->performSelectorOnMainThread(SEL(&PluginWindowMac_helper::start), interval.get(),
                                              NO);
        return;
    }
    StopAutoInvalidate();
    std::ostringstream message;
    message << "AutoInvalidate STARTED " << 1.0 / seconds << "fps";
    FBLOG_INFO("PluginCore", message.str());
    const Mac::AutoreleasePool pool;
    NSTimer* const timer = NSTimer::scheduledTimerWithTimeInterval(
        seconds, m_helper.get(), SEL(&PluginWindowMac_helper::fired), nil, YES);
    timer->retain();
    m_timer.reset(timer);
}

void PluginWindowMac::StopAutoInvalidate() {
    if (!NSThread::isMainThread()) {
        m_helper->performSelectorOnMainThread(SEL(&PluginWindowMac_helper::stop), nil, NO);
        return;
    }
    stopTimer();
}

void PluginWindowMac::stopTimer() {
    FBLOG_INFO("PluginCore", "AutoInvalidate STOPPED");
    if (m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
}

// --- Browser timers -----------------------------------------------------------------

std::uint32_t PluginWindowMac::scheduleTimer(std::uint32_t milliseconds, bool repeat) {
    return m_npHost ? m_npHost->ScheduleTimer(milliseconds, repeat, &timerCallback) : 0;
}

void PluginWindowMac::unscheduleTimer(std::uint32_t timerId) {
    if (m_npHost) {
        m_npHost->UnscheduleTimer(timerId);
    }
}

bool PluginWindowMac::handleTimerEvent(std::uint32_t timerId) {
    TimerEvent evt(timerId, nullptr);
    return SendEvent(&evt);
}

} // namespace FB
