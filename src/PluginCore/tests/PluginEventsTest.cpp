#include "FakeBrowserHost.h"
#include "PluginEvents/DrawingEvents.h"
#include "PluginEvents/GeneralEvents.h"
#include "PluginEvents/KeyboardEvents.h"
#include "PluginEvents/MouseEvents.h"
#include "PluginEvents/StreamEvents.h"

#include <gtest/gtest.h>

namespace {

TEST(PluginEvents, MouseEventsKeepTheirArgumentsInFieldOrder) {
    FB::MouseDownEvent down(FB::MouseButtonEvent::MouseButton_Middle, -5, 7, 4);
    EXPECT_EQ(down.m_button, 1);
    EXPECT_EQ(down.m_x, -5);
    EXPECT_EQ(down.m_y, 7);
    EXPECT_EQ(down.m_state, 4u);
    EXPECT_EQ(FB::MouseButtonEvent::MouseButton_Left, 0);
    EXPECT_EQ(FB::MouseButtonEvent::MouseButton_Right, 2);

    FB::MouseScrollEvent scroll(3, 4, 0.5, -1.5, 2);
    EXPECT_EQ(scroll.m_x, 3);
    EXPECT_EQ(scroll.m_y, 4);
    EXPECT_EQ(scroll.m_deltaX, 0.5);
    EXPECT_EQ(scroll.m_deltaY, -1.5);
    EXPECT_EQ(scroll.m_state, 2u) << "the state comes last";
    FB::PluginEvent* const scrolled = &scroll;
    EXPECT_TRUE(scrolled->validType<FB::MouseEvent>());
    EXPECT_FALSE(scrolled->validType<FB::MouseButtonEvent>());
}

TEST(PluginEvents, EnteringAndLeavingAreMovesWithoutModifierState) {
    FB::MouseEnteredEvent entered(10, 20);
    FB::MouseExitedEvent exited(30, 40);
    for (FB::PluginEvent* evt :
         {static_cast<FB::PluginEvent*>(&entered), static_cast<FB::PluginEvent*>(&exited)}) {
        ASSERT_TRUE(evt->validType<FB::MouseMoveEvent>());
        EXPECT_EQ(evt->get<FB::MouseMoveEvent>()->m_state, 0u);
    }
    EXPECT_EQ(exited.m_x, 30);
    EXPECT_EQ(exited.m_y, 40);
}

TEST(PluginEvents, KeyTextFocusAndTimerEventsKeepTheirArguments) {
    FB::KeyUpEvent key(FB::FBKEY_SHIFT, 0x20000, 0x100);
    EXPECT_EQ(key.m_keyCode, 56);
    EXPECT_EQ(key.m_osKeyCode, 0x20000u);
    EXPECT_EQ(key.m_modifiers, 0x100u);
    EXPECT_EQ(FB::FBKEY_UNKNOWN, 84);

    FB::TextEvent text("\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(text.m_text, "\xc3\xa9t\xc3\xa9");
    EXPECT_TRUE(FB::FocusChangedEvent(true).m_hasFocus);

    int data = 0;
    FB::TimerEvent timer(7, &data);
    EXPECT_EQ(timer.m_timerId, 7u);
    EXPECT_EQ(timer.m_data, &data);

    const FB::Rect bounds{1, 2, 3, 4};
    FB::RefreshEvent refresh(bounds);
    EXPECT_EQ(refresh.m_bounds.top, 1);
    EXPECT_EQ(refresh.m_bounds.left, 2);
    EXPECT_EQ(refresh.m_bounds.bottom, 3);
    EXPECT_EQ(refresh.m_bounds.right, 4);
}

TEST(PluginEvents, StreamEventsNameTheirStream) {
    FakeStream stream("http://example.test/", false, false, 16);
    const char bytes[] = "abc";
    FB::StreamDataArrivedEvent data(&stream, bytes, 3, 10, 0.0f);
    EXPECT_EQ(data.m_stream, &stream);
    EXPECT_EQ(data.getData(), bytes);
    EXPECT_EQ(data.getLength(), 3u);
    EXPECT_EQ(data.getDataPosition(), 10u);
    EXPECT_EQ(data.m_progress, 0.0f);

    FB::StreamCompletedEvent completed(&stream, false);
    EXPECT_FALSE(completed.m_success);
    FB::PluginEvent* const evt = &completed;
    EXPECT_TRUE(evt->validType<FB::StreamEvent>());
    EXPECT_EQ(evt->get<FB::StreamEvent>()->m_stream, &stream);
}

} // namespace
