#pragma once

// FB::PluginWindowMac: the macOS window of one instance. It keeps the
// geometry and clip rectangle the browser reports and tells its observers
// when they change, asks the browser to redraw (from any thread), runs
// browser timers, and can redraw itself at a fixed rate. A drawing-model
// window completes it.

#include "FactoryBase.h"
#include "MacResources.h"
#include "PluginWindow.h"

#include <NPAPI.h>

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>
#include <string>

class PluginWindowMac_helper;

namespace FB {

// No drawing model agreed with the browser.
const NPDrawingModel NoDrawingModel = static_cast<NPDrawingModel>(-1);

class PluginWindowMac : public PluginWindow {
public:
    // Agrees the drawing model the object parameter names with the browser:
    // only "NPDrawingModelCoreGraphics" can be agreed, any other name gives
    // NoDrawingModel without asking. Logs the outcome.
    static NPDrawingModel initPluginWindowMac(const Npapi::NpapiBrowserHostPtr& host,
                                              const std::string& drawingModel);
    // Agrees the CoreGraphics model when the browser supports it.
    static NPDrawingModel initPluginWindowMac(const Npapi::NpapiBrowserHostPtr& host);
    // A new window for the drawing model, made by the factory; NULL for any
    // model but CoreGraphics. The caller owns it.
    static PluginWindowMac* createPluginWindowMac(NPDrawingModel drawingModel);

    PluginWindowMac();
    // Main thread: stops auto-invalidation first.
    ~PluginWindowMac() override;

    // Any thread; off the main thread the request is posted to it. Nothing
    // happens before the window has its host.
    void InvalidateWindow() const override;
    Rect getWindowPosition() const override;
    std::uint32_t getWindowWidth() const override { return m_width; }
    std::uint32_t getWindowHeight() const override { return m_height; }
    Rect getWindowClipping() const override;

    // Invalidates the window every interval until stopped; a running timer
    // is stopped first. Raises std::invalid_argument for an interval that is
    // not a positive number of seconds. The timer lives on the main thread's
    // run loop: asked for on another thread, a start or stop is posted there
    // and takes effect when it runs (not at all once the window has gone).
    virtual void StartAutoInvalidate(double seconds);
    virtual void StopAutoInvalidate();

    // Takes the browser's geometry and clip rectangle; sends ResizedEvent
    // when position or size changed and ClipChangedEvent when the clip
    // rectangle changed. A NULL window changes nothing.
    virtual NPError SetWindow(NPWindow* window);
    // Answers the browser's questions about the window: nothing to give.
    virtual NPError GetValue(NPPVariable variable, void* value);
    virtual NPDrawingModel getDrawingModel() const = 0;
    // The drawing context of the model.
    virtual void* getDrawingPrimitive() const = 0;
    // The browser's window.
    virtual void* getWindowRef() const = 0;

    // A browser timer whose ticks reach handleTimerEvent; the browser's
    // timer id, 0 when it refused or the window has no host.
    virtual std::uint32_t scheduleTimer(std::uint32_t milliseconds, bool repeat);
    virtual void unscheduleTimer(std::uint32_t timerId);
    // Sends a TimerEvent with the timer's id; true when an observer handled it.
    virtual bool handleTimerEvent(std::uint32_t timerId);

    void setNpHost(Npapi::NpapiBrowserHostPtr host) { m_npHost = host; }
    void setPluginEvent(boost::shared_ptr<PluginEventMac> handler) { m_eventHandler = handler; }
    // Draw the drawing model's frame-rate label over each frame.
    void setShowDrawingModel(bool show) { m_showDrawingModel = show; }

protected:
    struct GeometryChange {
        bool resized;
        bool clipChanged;
    };

    // Copies what differs from the window's geometry, without telling anyone.
    GeometryChange updateGeometry(const NPWindow& window);
    void sendGeometryEvents(const GeometryChange& change);

    bool m_showDrawingModel;

private:
    // Main thread: invalidates and drops the running timer, if any.
    void stopTimer();

    static bool initPluginWindowMac_CG(const Npapi::NpapiBrowserHostPtr& host,
                                       NPDrawingModel& drawingModel);

    Npapi::NpapiBrowserHostPtr m_npHost;
    boost::weak_ptr<PluginEventMac> m_eventHandler;
    std::int32_t m_x;
    std::int32_t m_y;
    // Read by InvalidateWindow on any thread.
    std::atomic<std::uint32_t> m_width;
    std::atomic<std::uint32_t> m_height;
    std::int32_t m_clipTop;
    std::int32_t m_clipLeft;
    std::int32_t m_clipBottom;
    std::int32_t m_clipRight;
    // Main thread only.
    Mac::OwnedObject<NSTimer> m_timer;
    Mac::OwnedObject<PluginWindowMac_helper> m_helper;
};

} // namespace FB
