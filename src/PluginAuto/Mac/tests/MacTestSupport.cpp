#include "MacTestSupport.h"

#include "OneShotManager.h"
#include "PluginEventMacCocoa.h"
#include "PluginEvents/AttachedEvent.h"
#include "PluginEvents/GeneralEvents.h"
#include "PluginEvents/KeyboardEvents.h"
#include "PluginEvents/MacEventCocoa.h"
#include "PluginEvents/MouseEvents.h"

#include <testbrowser/Page.h>

#include <boost/make_shared.hpp>
#include <sstream>

namespace mactest {

namespace {

const char* buttonName(FB::MouseButtonEvent::MouseButton button) {
    switch (button) {
    case FB::MouseButtonEvent::MouseButton_Left:
        return "left";
    case FB::MouseButtonEvent::MouseButton_Middle:
        return "middle";
    case FB::MouseButtonEvent::MouseButton_Right:
        return "right";
    }
    return "?";
}

std::string describeRect(const FB::Rect& rect) {
    std::ostringstream text;
    text << rect.top << " " << rect.left << " " << rect.bottom << " " << rect.right;
    return text.str();
}

std::string describeMouse(const char* name, FB::MouseEvent* evt) {
    std::ostringstream text;
    text << name << " ";
    if (evt->validType<FB::MouseButtonEvent>()) {
        text << buttonName(evt->get<FB::MouseButtonEvent>()->m_button) << " ";
    }
    text << evt->m_x << " " << evt->m_y;
    if (evt->validType<FB::MouseScrollEvent>()) {
        text << " " << evt->get<FB::MouseScrollEvent>()->m_deltaX << " "
             << evt->get<FB::MouseScrollEvent>()->m_deltaY;
    }
    text << " state " << evt->m_state;
    return text.str();
}

std::string describeKey(const char* name, FB::KeyEvent* evt) {
    std::ostringstream text;
    text << name << " " << evt->m_keyCode << " " << evt->m_osKeyCode << " " << evt->m_modifiers;
    return text.str();
}

} // namespace

std::string describe(FB::PluginEvent* evt) {
    if (evt->validType<FB::AttachedEvent>()) {
        return "attached";
    }
    if (evt->validType<FB::DetachedEvent>()) {
        return "detached";
    }
    if (evt->validType<FB::MacEventCocoa>()) {
        return "cocoa " + std::to_string(evt->get<FB::MacEventCocoa>()->m_event.type);
    }
    if (evt->validType<FB::MouseDoubleClickEvent>()) {
        return describeMouse("double-click", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::MouseDownEvent>()) {
        return describeMouse("down", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::MouseUpEvent>()) {
        return describeMouse("up", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::MouseEnteredEvent>()) {
        return describeMouse("entered", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::MouseExitedEvent>()) {
        return describeMouse("exited", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::MouseMoveEvent>()) {
        return describeMouse("move", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::MouseScrollEvent>()) {
        return describeMouse("scroll", evt->get<FB::MouseEvent>());
    }
    if (evt->validType<FB::KeyDownEvent>()) {
        return describeKey("key-down", evt->get<FB::KeyEvent>());
    }
    if (evt->validType<FB::KeyUpEvent>()) {
        return describeKey("key-up", evt->get<FB::KeyEvent>());
    }
    if (evt->validType<FB::TextEvent>()) {
        return "text " + evt->get<FB::TextEvent>()->m_text;
    }
    if (evt->validType<FB::FocusChangedEvent>()) {
        return std::string("focus ") + (evt->get<FB::FocusChangedEvent>()->m_hasFocus ? "1" : "0");
    }
    if (evt->validType<FB::CoreGraphicsDraw>()) {
        FB::CoreGraphicsDraw* draw = evt->get<FB::CoreGraphicsDraw>();
        return "cg-draw bounds " + describeRect(draw->m_bounds) + " clip " +
               describeRect(draw->m_clip);
    }
    if (evt->validType<FB::RefreshEvent>()) {
        return "refresh";
    }
    if (evt->validType<FB::TimerEvent>()) {
        return "timer " + std::to_string(evt->get<FB::TimerEvent>()->m_timerId);
    }
    if (evt->validType<FB::ResizedEvent>()) {
        return "resized";
    }
    if (evt->validType<FB::ClipChangedEvent>()) {
        return "clip-changed";
    }
    if (evt->validType<FB::ChangedEvent>()) {
        return "changed";
    }
    return "other";
}

NPWindow geometry(std::int32_t x, std::int32_t y, std::uint32_t width, std::uint32_t height,
                  NPRect clip) {
    NPWindow window = {};
    window.x = x;
    window.y = y;
    window.width = width;
    window.height = height;
    window.clipRect = clip;
    return window;
}

bool EventLog::HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource*) {
    if (evt->validType<FB::AttachedEvent>() || evt->validType<FB::DetachedEvent>()) {
        return false;
    }
    seen.push_back(describe(evt));
    return handles && handles(evt);
}

boost::shared_ptr<FB::PluginCore> TestFactory::createPlugin(const std::string&) {
    const boost::shared_ptr<TestCore> core = boost::make_shared<TestCore>();
    cores.push_back(core);
    return core;
}

boost::shared_ptr<TestFactory> testFactory() {
    static const boost::shared_ptr<TestFactory> factory = boost::make_shared<TestFactory>();
    return factory;
}

MacPage::MacPage(testbrowser::BrowserOptions options) : browser(std::move(options)) {
    module.setNetscapeFuncs(&browser.functions());
    page = &browser.openPage("<html><body><div id='plugin'></div></body></html>");
    npp = page->createDetachedInstance("plugin").npp();
    FB::OneShotManager::getInstance().npp_register(npp);
    host = boost::make_shared<FB::Npapi::NpapiBrowserHost>(&module, npp);
    host->setBrowserFuncs(&module.NPNFuncs);
}

MacPage::~MacPage() {
    host->shutdown();
    host.reset();
    FB::OneShotManager::getInstance().npp_unregister(npp);
    browser.closePage();
    module.DoDeferredRelease();
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

} // namespace mactest

// The product's part, as these tests need it.

namespace FB {

std::string getPluginName(const std::string&) {
    return "macOS layer test plug-in";
}

std::string getPluginDescription(const std::string&) {
    return "Plug-in of the macOS layer's tests";
}

std::string getPluginMimeType() {
    return "application/x-velmora";
}

bool pluginGuiEnabled() {
    return mactest::testFactory()->guiEnabled;
}

} // namespace FB

FB::FactoryBasePtr getFactoryInstance() {
    return mactest::testFactory();
}
