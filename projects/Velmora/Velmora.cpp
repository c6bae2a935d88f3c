#include "Velmora.h"

#include "BrowserHost.h"
#include "DigitalSignatureUtil.h"
#include "PluginEvents/AttachedEvent.h"
#include "PluginEvents/MouseEvents.h"
#include "PluginWindow.h"
#include "VelmoraAPI.h"

#include <boost/make_shared.hpp>

void Velmora::StaticInitialize() {}

// The PIN store outlives every instance; once the module ends nobody can
// use it, and the memory holding it would be freed with the PINs in it.
void Velmora::StaticDeinitialize() {
    ErasePines();
}

// Nothing may leave a destructor: a failing release is dropped.
Velmora::~Velmora() {
    releaseRootJSAPI();
    if (!m_host) {
        return;
    }
    try {
        m_host->freeRetainedObjects();
    } catch (...) {
    }
}

FB::JSAPIPtr Velmora::createJSAPI() {
    const VelmoraPtr self = FB::ptr_cast<Velmora>(shared_from_this());
    return boost::make_shared<VelmoraAPI>(self, m_host);
}

bool Velmora::HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* src) {
    FB::PluginWindow* window = dynamic_cast<FB::PluginWindow*>(src);
    if (!window) {
        return false;
    }
    if (evt->validType<FB::MouseDownEvent>()) {
        return onMouseDown(evt->get<FB::MouseDownEvent>(), window);
    }
    if (evt->validType<FB::MouseUpEvent>()) {
        return onMouseUp(evt->get<FB::MouseUpEvent>(), window);
    }
    if (evt->validType<FB::MouseMoveEvent>()) {
        return onMouseMove(evt->get<FB::MouseMoveEvent>(), window);
    }
    if (evt->validType<FB::AttachedEvent>()) {
        return onWindowAttached(evt->get<FB::AttachedEvent>(), window);
    }
    if (evt->validType<FB::DetachedEvent>()) {
        return onWindowDetached(evt->get<FB::DetachedEvent>(), window);
    }
    return false;
}

bool Velmora::onMouseDown(FB::MouseDownEvent* /*evt*/, FB::PluginWindow* /*window*/) {
    return false;
}

bool Velmora::onMouseUp(FB::MouseUpEvent* /*evt*/, FB::PluginWindow* /*window*/) {
    return false;
}

bool Velmora::onMouseMove(FB::MouseMoveEvent* /*evt*/, FB::PluginWindow* /*window*/) {
    return false;
}

bool Velmora::onWindowAttached(FB::AttachedEvent* /*evt*/, FB::PluginWindow* /*window*/) {
    return false;
}

bool Velmora::onWindowDetached(FB::DetachedEvent* /*evt*/, FB::PluginWindow* /*window*/) {
    return false;
}
