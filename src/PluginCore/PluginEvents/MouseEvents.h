#pragma once

// Mouse events, in the plug-in's own coordinates. The state is a bit set of
// modifier keys: 1 Shift, 2 Control, 4 Option.

#include "PluginEvent.h"

#include <cstdint>

namespace FB {

class MouseEvent : public PluginEvent {
public:
    MouseEvent(std::int32_t x, std::int32_t y, std::uint32_t state)
        : m_x(x), m_y(y), m_state(state) {}

    std::int32_t m_x;
    std::int32_t m_y;
    std::uint32_t m_state;
};

class MouseButtonEvent : public MouseEvent {
public:
    enum MouseButton : std::int32_t {
        MouseButton_Left = 0,
        MouseButton_Middle = 1,
        MouseButton_Right = 2,
    };

    MouseButtonEvent(MouseButton button, std::int32_t x, std::int32_t y, std::uint32_t state)
        : MouseEvent(x, y, state), m_button(button) {}

    MouseButton m_button;
};

class MouseDownEvent : public MouseButtonEvent {
public:
    using MouseButtonEvent::MouseButtonEvent;
};

class MouseUpEvent : public MouseButtonEvent {
public:
    using MouseButtonEvent::MouseButtonEvent;
};

class MouseDoubleClickEvent : public MouseButtonEvent {
public:
    using MouseButtonEvent::MouseButtonEvent;
};

class MouseMoveEvent : public MouseEvent {
public:
    using MouseEvent::MouseEvent;
};

// Entering and leaving carry no modifier state.
class MouseEnteredEvent : public MouseMoveEvent {
public:
    MouseEnteredEvent(std::int32_t x, std::int32_t y) : MouseMoveEvent(x, y, 0) {}
};

class MouseExitedEvent : public MouseMoveEvent {
public:
    MouseExitedEvent(std::int32_t x, std::int32_t y) : MouseMoveEvent(x, y, 0) {}
};

// The scroll amounts as the browser reports them; the state comes last.
class MouseScrollEvent : public MouseEvent {
public:
    MouseScrollEvent(std::int32_t x, std::int32_t y, double deltaX, double deltaY,
                     std::uint32_t state)
        : MouseEvent(x, y, state), m_deltaX(deltaX), m_deltaY(deltaY) {}

    double m_deltaX;
    double m_deltaY;
};

} // namespace FB
