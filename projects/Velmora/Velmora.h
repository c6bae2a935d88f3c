#pragma once

// Velmora: the product's plug-in class, one per embedded object on a page.
// It makes the instance's root script object, a VelmoraAPI, answers that it
// is a windowed plug-in and routes the window events it observes to its
// handlers, none of which handles anything.

#include "PluginCore.h"

#include <boost/shared_ptr.hpp>
#include <string>

namespace FB {
class PluginWindow;
class MouseDownEvent;
class MouseUpEvent;
class MouseMoveEvent;
class AttachedEvent;
class DetachedEvent;
} // namespace FB

class Velmora : public FB::PluginCore {
public:
    // Run once when the module starts and once when it ends.
    static void StaticInitialize();
    static void StaticDeinitialize();

    Velmora() = default;
    // Drops the root script object and the objects the host retained for
    // this instance before the core shuts the host down.
    ~Velmora() override;

    bool HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* src) override;
    void onPluginReady() override {}
    void shutdown() override {}
    FB::JSAPIPtr createJSAPI() override;
    // Whatever the "windowless" parameter says.
    bool isWindowless() override { return false; }

    virtual bool onMouseDown(FB::MouseDownEvent* evt, FB::PluginWindow* window);
    virtual bool onMouseUp(FB::MouseUpEvent* evt, FB::PluginWindow* window);
    virtual bool onMouseMove(FB::MouseMoveEvent* evt, FB::PluginWindow* window);
    virtual bool onWindowAttached(FB::AttachedEvent* evt, FB::PluginWindow* window);
    virtual bool onWindowDetached(FB::DetachedEvent* evt, FB::PluginWindow* window);

    // The plug-in file's path, as the binding gave it.
    std::string getFilesystemPath() const { return m_filesystemPath; }
};

typedef boost::shared_ptr<Velmora> VelmoraPtr;
