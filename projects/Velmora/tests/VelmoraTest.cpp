// The plug-in class: windowed whatever the page says, its script object, and
// the window events it routes to its handlers.
#include "Velmora.h"
#include "FakeBrowserHost.h"
#include "PluginEvents/KeyboardEvents.h"
#include "PluginEvents/MouseEvents.h"
#include "TestObjects.h"
#include "TestSinks.h"
#include "VelmoraAPI.h"

#include <boost/make_shared.hpp>
#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Records which handler each event reached; every handler answers `answer`.
class RoutingVelmora : public Velmora {
public:
    bool onMouseDown(FB::MouseDownEvent*, FB::PluginWindow* window) override {
        return reached("mouse down", window);
    }
    bool onMouseUp(FB::MouseUpEvent*, FB::PluginWindow* window) override {
        return reached("mouse up", window);
    }
    bool onMouseMove(FB::MouseMoveEvent*, FB::PluginWindow* window) override {
        return reached("mouse move", window);
    }
    bool onWindowAttached(FB::AttachedEvent*, FB::PluginWindow* window) override {
        return reached("attached", window);
    }
    bool onWindowDetached(FB::DetachedEvent*, FB::PluginWindow* window) override {
        return reached("detached", window);
    }

    bool answer = false;
    std::vector<std::string> handlers;
    std::vector<FB::PluginWindow*> windows;

private:
    bool reached(const std::string& handler, FB::PluginWindow* window) {
        handlers.push_back(handler);
        windows.push_back(window);
        return answer;
    }
};

// A source that is not a window.
class OtherSource : public FB::PluginEventSource {};

struct RouteCase {
    std::string name;
    std::function<std::unique_ptr<FB::PluginEvent>()> make;
    // The handler it reaches; "" for none.
    std::string handler;
};

std::vector<RouteCase> routeCases() {
    using Button = FB::MouseButtonEvent;
    return {
        {"mouse down",
         [] { return std::make_unique<FB::MouseDownEvent>(Button::MouseButton_Left, 1, 2, 0); },
         "mouse down"},
        {"mouse up",
         [] { return std::make_unique<FB::MouseUpEvent>(Button::MouseButton_Right, 1, 2, 0); },
         "mouse up"},
        {"mouse move", [] { return std::make_unique<FB::MouseMoveEvent>(1, 2, 0); }, "mouse move"},
        {"mouse entered, a kind of move",
         [] { return std::make_unique<FB::MouseEnteredEvent>(1, 2); }, "mouse move"},
        {"attached", [] { return std::make_unique<FB::AttachedEvent>(); }, "attached"},
        {"detached", [] { return std::make_unique<FB::DetachedEvent>(); }, "detached"},
        {"double click",
         [] {
             return std::make_unique<FB::MouseDoubleClickEvent>(Button::MouseButton_Left, 1, 2, 0);
         },
         ""},
        {"key down", [] { return std::make_unique<FB::KeyDownEvent>(FB::FBKEY_UNKNOWN, 0, 0); },
         ""},
    };
}

TEST(Velmora, RoutesWindowEventsToTheirHandlersAndReturnsTheirAnswer) {
    TestWindow window;
    for (const RouteCase& route : routeCases()) {
        for (bool answer : {false, true}) {
            SCOPED_TRACE(route.name + (answer ? ", handled" : ", not handled"));
            const boost::shared_ptr<RoutingVelmora> plugin = boost::make_shared<RoutingVelmora>();
            plugin->answer = answer;
            const std::unique_ptr<FB::PluginEvent> event = route.make();

            const bool handled = plugin->HandleEvent(event.get(), &window);

            if (route.handler.empty()) {
                EXPECT_FALSE(handled);
                EXPECT_TRUE(plugin->handlers.empty());
            } else {
                EXPECT_EQ(handled, answer);
                EXPECT_EQ(plugin->handlers, std::vector<std::string>{route.handler});
                EXPECT_EQ(plugin->windows, std::vector<FB::PluginWindow*>{&window});
            }
        }
    }
}

TEST(Velmora, IgnoresEventsFromSourcesOtherThanWindows) {
    const boost::shared_ptr<RoutingVelmora> plugin = boost::make_shared<RoutingVelmora>();
    plugin->answer = true;
    OtherSource source;
    FB::MouseDownEvent event(FB::MouseButtonEvent::MouseButton_Left, 0, 0, 0);

    EXPECT_FALSE(plugin->HandleEvent(&event, &source));
    EXPECT_TRUE(plugin->handlers.empty());
}

TEST(Velmora, HandlesNoEventItself) {
    const boost::shared_ptr<Velmora> plugin = boost::make_shared<Velmora>();
    const boost::shared_ptr<TestWindow> window = boost::make_shared<TestWindow>();
    FB::MouseDownEvent down(FB::MouseButtonEvent::MouseButton_Left, 0, 0, 0);
    FB::MouseMoveEvent move(0, 0, 0);

    plugin->SetWindow(window.get());
    EXPECT_FALSE(window->SendEvent(&down));
    EXPECT_FALSE(window->SendEvent(&move));
    plugin->ClearWindow();
}

TEST(Velmora, HearsItsWindowAttachAndDetach) {
    const boost::shared_ptr<RoutingVelmora> plugin = boost::make_shared<RoutingVelmora>();
    const boost::shared_ptr<TestWindow> window = boost::make_shared<TestWindow>();

    plugin->SetWindow(window.get());
    plugin->ClearWindow();

    EXPECT_EQ(plugin->handlers, (std::vector<std::string>{"attached", "detached"}));
}

TEST(Velmora, IsWindowedWhateverThePageSays) {
    const boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    const boost::shared_ptr<Velmora> plugin = boost::make_shared<Velmora>();
    plugin->SetHost(host);
    plugin->setParams(FB::VariantMap{{"windowless", "true"}});

    EXPECT_EQ(plugin->getParam("windowless"), std::string("true"));
    EXPECT_FALSE(plugin->isWindowless());
}

TEST(Velmora, MakesItsScriptObjectOnceThroughTheCore) {
    const boost::shared_ptr<Velmora> plugin = boost::make_shared<Velmora>();

    const FB::JSAPIPtr root = plugin->getRootJSAPI();
    EXPECT_NE(FB::ptr_cast<VelmoraAPI>(root), nullptr);
    EXPECT_EQ(plugin->getRootJSAPI(), root);

    const FB::JSAPIPtr first = plugin->createJSAPI();
    const FB::JSAPIPtr second = plugin->createJSAPI();
    EXPECT_NE(first, second);
    EXPECT_NE(first, root);
    EXPECT_EQ(FB::ptr_cast<VelmoraAPI>(first)->getPlugin(), plugin);
}

TEST(Velmora, LetsGoOfItsScriptObjectAndTheHostsRetainedObjectsWhenItGoes) {
    const boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    boost::shared_ptr<Velmora> plugin = boost::make_shared<Velmora>();
    plugin->SetHost(host);
    const boost::weak_ptr<FB::JSAPI> root = plugin->getRootJSAPI();
    const FB::JSAPIPtr retained = boost::make_shared<StubScriptObject>();
    host->retainJSAPIPtr(retained);
    const boost::weak_ptr<FB::JSAPI> retainedWeak = retained;

    plugin.reset();

    EXPECT_TRUE(root.expired());
    EXPECT_EQ(retainedWeak.use_count(), 1);
}

TEST(Velmora, KeepsThePluginFilePath) {
    const boost::shared_ptr<Velmora> plugin = boost::make_shared<Velmora>();
    EXPECT_EQ(plugin->getFilesystemPath(), "");
    plugin->setFSPath("/Library/Internet Plug-Ins/Velmora.plugin/Contents/MacOS/Velmora");
    EXPECT_EQ(plugin->getFilesystemPath(),
              "/Library/Internet Plug-Ins/Velmora.plugin/Contents/MacOS/Velmora");
}

} // namespace
