// Cocoa events to the framework's events: the raw event first, then the
// translation, through the instance's window.

#include "MacTestSupport.h"
#include "PluginEventMacCocoa.h"
#include "PluginEvents/KeyboardEvents.h"
#include "PluginEvents/MacEventCocoa.h"
#include "PluginWindowMacCG.h"

#include <testbrowser/CocoaEvent.h>

#include <MacStandIn/StandIn.h>

#include <boost/make_shared.hpp>
#include <cmath>
#include <limits>

using mactest::EventLog;
using testbrowser::CocoaEvent;

namespace {

const std::uint32_t shift = NSShiftKeyMask, control = NSControlKeyMask, option = NSAlternateKeyMask,
                    command = NSCommandKeyMask;

// A window of a drawing model other than CoreGraphics.
class CoreAnimationWindow : public FB::PluginWindowMac {
public:
    NPDrawingModel getDrawingModel() const override { return NPDrawingModelCoreAnimation; }
    void* getDrawingPrimitive() const override { return nullptr; }
    void* getWindowRef() const override { return nullptr; }
};

class CocoaEvents : public ::testing::Test {
protected:
    void SetUp() override {
        NPWindow position = mactest::geometry(10, 20, 300, 200);
        window->SetWindow(&position);
        window->AttachObserver(log);
        translator.setPluginWindow(window);
        macos::clearLoggedMessages();
    }

    // What the observers saw after the raw event.
    std::vector<std::string> translated() const {
        return std::vector<std::string>(log->seen.begin() + (log->seen.empty() ? 0 : 1),
                                        log->seen.end());
    }

    boost::shared_ptr<FB::PluginWindowMacCG> window = boost::make_shared<FB::PluginWindowMacCG>();
    boost::shared_ptr<EventLog> log = boost::make_shared<EventLog>();
    FB::PluginEventMacCocoa translator;
};

struct Case {
    const char* label;
    CocoaEvent event;
    std::vector<std::string> translated;
};

TEST_F(CocoaEvents, EachTypeBecomesItsEvent) {
    const Case cases[] = {
        {"click",
         CocoaEvent::mouse(NPCocoaEventMouseDown, 10.7, 20.2, 0, 1),
         {"down left 10 20 state 0"}},
        {"click with Shift held keeps the state",
         CocoaEvent::mouse(NPCocoaEventMouseDown, 10, 20, 0, 1, shift),
         {"down left 10 20 state 1"}},
        {"double click",
         CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 2, 0, 2, option),
         {"double-click left 1 2 state 4"}},
        {"triple click",
         CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 2, 0, 3),
         {"down left 1 2 state 0"}},
        {"right button up",
         CocoaEvent::mouse(NPCocoaEventMouseUp, 5, 6, 1, 1, control | option),
         {"up right 5 6 state 6"}},
        {"middle button up",
         CocoaEvent::mouse(NPCocoaEventMouseUp, 5, 6, 2, 1, shift | command),
         {"up middle 5 6 state 1"}},
        {"Command is not a mouse state",
         CocoaEvent::mouse(NPCocoaEventMouseUp, 5, 6, 0, 1, command),
         {"up left 5 6 state 0"}},
        {"move",
         CocoaEvent::mouse(NPCocoaEventMouseMoved, -3.9, 7.99, 0, 0, shift | control),
         {"move -3 7 state 3"}},
        {"drag with Shift held keeps the state",
         CocoaEvent::mouse(NPCocoaEventMouseDragged, 8, 9, 0, 0, shift),
         {"move 8 9 state 1"}},
        {"entered",
         CocoaEvent::mouse(NPCocoaEventMouseEntered, 1, 1, 0, 0, shift),
         {"entered 1 1 state 0"}},
        {"exited",
         CocoaEvent::mouse(NPCocoaEventMouseExited, 2, 2, 0, 0, shift),
         {"exited 2 2 state 0"}},
        {"scroll", CocoaEvent::scroll(5, 6, 1.5, -2, option), {"scroll 5 6 1.5 -2 state 4"}},
        {"unknown button on a click", CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 1, 3, 1), {}},
        {"unknown button on a move", CocoaEvent::mouse(NPCocoaEventMouseMoved, 1, 1, -1, 0), {}},
        {"letter", CocoaEvent::key(NPCocoaEventKeyDown, 0, "a", shift), {"key-down 84 97 131072"}},
        {"Return released", CocoaEvent::key(NPCocoaEventKeyUp, 36, "\r"), {"key-up 52 13 0"}},
        {"arrow with text beyond one unit",
         CocoaEvent::key(NPCocoaEventKeyDown, 126, "\xf0\x9f\x98\x80"),
         {"key-down 83 55357 0"}},
        {"key without characters",
         CocoaEvent::key(NPCocoaEventKeyDown, 53, ""),
         {"key-down 9 0 0"}},
        {"focus gained", CocoaEvent::focus(NPCocoaEventFocusChanged, true), {"focus 1"}},
        {"focus lost", CocoaEvent::focus(NPCocoaEventFocusChanged, false), {"focus 0"}},
        {"window focus", CocoaEvent::focus(NPCocoaEventWindowFocusChanged, true), {}},
        {"text", CocoaEvent::text("h\xc3\xa9llo \xe2\x82\xac"), {"text h\xc3\xa9llo \xe2\x82\xac"}},
        {"draw",
         CocoaEvent::draw(nullptr, 1.9, 2.5, 100.6, 50.2),
         {"cg-draw bounds 20 10 220 310 clip 2 1 52 102"}},
    };
    for (const Case& c : cases) {
        log->seen.clear();
        CocoaEvent event = c.event;
        EXPECT_EQ(translator.HandleEvent(&event.record()), 0) << c.label;
        ASSERT_FALSE(log->seen.empty()) << c.label;
        EXPECT_EQ(log->seen.front(), "cocoa " + std::to_string(event.record().type)) << c.label;
        EXPECT_EQ(translated(), c.translated) << c.label;
    }
}

TEST_F(CocoaEvents, TextWithoutAStringIsEmpty) {
    CocoaEvent event = CocoaEvent::text("");
    event.record().data.text.text->release();
    event.record().data.text.text = nullptr;
    translator.HandleEvent(&event.record());
    EXPECT_EQ(translated(), std::vector<std::string>{"text "});
}

TEST_F(CocoaEvents, CoordinatesBeyondTheIntegerRangeAreClamped) {
    const double huge = 1e12, nan = std::numeric_limits<double>::quiet_NaN();
    CocoaEvent move = CocoaEvent::mouse(NPCocoaEventMouseMoved, huge, -huge);
    translator.HandleEvent(&move.record());
    CocoaEvent draw = CocoaEvent::draw(nullptr, 0, nan, huge, 1);
    translator.HandleEvent(&draw.record());
    EXPECT_EQ(translated(),
              (std::vector<std::string>{"move 2147483647 -2147483648 state 0", "cocoa 1",
                                        "cg-draw bounds 20 10 220 310 clip 0 0 0 2147483647"}));
}

TEST_F(CocoaEvents, AnotherDrawingModelGetsAPlainRefresh) {
    const auto other = boost::make_shared<CoreAnimationWindow>();
    other->AttachObserver(log);
    translator.setPluginWindow(other);
    CocoaEvent draw = CocoaEvent::draw(nullptr, 0, 0, 10, 10);
    translator.HandleEvent(&draw.record());
    EXPECT_EQ(translated(), std::vector<std::string>{"refresh"});
}

TEST_F(CocoaEvents, AHandledRawEventIsNotTranslated) {
    log->handles = [](FB::PluginEvent* evt) { return evt->validType<FB::MacEventCocoa>(); };
    CocoaEvent click = CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 1);
    EXPECT_EQ(translator.HandleEvent(&click.record()), 1);
    EXPECT_EQ(log->seen, std::vector<std::string>{"cocoa 2"});
}

TEST_F(CocoaEvents, AHandledTranslationAnswersHandled) {
    log->handles = [](FB::PluginEvent* evt) { return !evt->validType<FB::MacEventCocoa>(); };
    CocoaEvent click = CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 1);
    EXPECT_EQ(translator.HandleEvent(&click.record()), 1);
    EXPECT_EQ(log->seen.size(), 2u);
}

TEST_F(CocoaEvents, NothingIsSentWithoutAWindowOrAnEvent) {
    CocoaEvent click = CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 1);
    EXPECT_EQ(translator.HandleEvent(nullptr), 0);
    FB::PluginEventMacCocoa unwired;
    EXPECT_EQ(unwired.HandleEvent(&click.record()), 0);
    EXPECT_EQ(unwired.ProcessModifiers(shift), 0);
    window.reset();
    EXPECT_EQ(translator.HandleEvent(&click.record()), 0);
    EXPECT_TRUE(log->seen.empty());
    EXPECT_EQ(unwired.getEventModel(), NPEventModelCocoa);
}

TEST_F(CocoaEvents, EveryChangedModifierIsReported) {
    CocoaEvent both = CocoaEvent::flagsChanged(shift | control);
    EXPECT_EQ(translator.HandleEvent(&both.record()), 0);
    CocoaEvent swap = CocoaEvent::flagsChanged(control | option | command);
    translator.HandleEvent(&swap.record());
    CocoaEvent none = CocoaEvent::flagsChanged(0);
    translator.HandleEvent(&none.record());
    CocoaEvent again = CocoaEvent::flagsChanged(0);
    translator.HandleEvent(&again.record());
    EXPECT_EQ(log->seen,
              (std::vector<std::string>{"cocoa 10", "key-down 56 131072 0", "key-down 5 262144 0",
                                        "cocoa 10", "key-up 56 131072 0", "key-down 74 524288 0",
                                        "key-down 73 1048576 0", "cocoa 10", "key-up 5 262144 0",
                                        "key-up 74 524288 0", "key-up 73 1048576 0", "cocoa 10"}));
    EXPECT_EQ(macos::loggedMessages(),
              (std::vector<std::string>{"Shift pressed!", "Control pressed!", "Shift depressed!",
                                        "Option pressed!", "Command pressed!", "Control depressed!",
                                        "Option depressed!", "Command depressed!"}));
}

TEST_F(CocoaEvents, AModifierChangeIsHandledWhenAnyOfItsKeysIs) {
    log->handles = [](FB::PluginEvent* evt) {
        return evt->validType<FB::KeyEvent>() &&
               evt->get<FB::KeyEvent>()->m_keyCode == FB::FBKEY_CONTROL;
    };
    EXPECT_EQ(translator.ProcessModifiers(shift | control), 1);
    EXPECT_EQ(translator.ProcessModifiers(control | option), 0);
    EXPECT_EQ(log->seen, (std::vector<std::string>{"key-down 56 131072 0", "key-down 5 262144 0",
                                                   "key-up 56 131072 0", "key-down 74 524288 0"}));
}

// A plug-in that handles the key events still gets the key-down of every
// modifier pressed in one event, and later the key-up of every one released.
TEST_F(CocoaEvents, APluginHandlingTheKeysGetsEveryModifierThatChanged) {
    log->handles = [](FB::PluginEvent* evt) { return evt->validType<FB::KeyEvent>(); };
    CocoaEvent pressed = CocoaEvent::flagsChanged(shift | control | option | command);
    EXPECT_EQ(translator.HandleEvent(&pressed.record()), 1);
    CocoaEvent released = CocoaEvent::flagsChanged(0);
    EXPECT_EQ(translator.HandleEvent(&released.record()), 1);
    EXPECT_EQ(log->seen,
              (std::vector<std::string>{"cocoa 10", "key-down 56 131072 0", "key-down 5 262144 0",
                                        "key-down 74 524288 0", "key-down 73 1048576 0", "cocoa 10",
                                        "key-up 56 131072 0", "key-up 5 262144 0",
                                        "key-up 74 524288 0", "key-up 73 1048576 0"}));
}

TEST_F(CocoaEvents, ModifiersChangedWithoutAWindowAreComparedLater) {
    translator.ProcessModifiers(shift);
    window.reset();
    EXPECT_EQ(translator.ProcessModifiers(0), 0);
    const auto later = boost::make_shared<FB::PluginWindowMacCG>();
    later->AttachObserver(log);
    translator.setPluginWindow(later);
    translator.ProcessModifiers(0);
    EXPECT_EQ(log->seen, (std::vector<std::string>{"key-down 56 131072 0", "key-up 56 131072 0"}));
}

} // namespace
