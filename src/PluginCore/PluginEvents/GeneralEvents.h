#pragma once

// Window events: focus, timers and changes that receivers read back from
// the window itself.

#include "PluginEvent.h"

#include <cstdint>

namespace FB {

// true when the plug-in gained the keyboard focus, false when it lost it.
class FocusChangedEvent : public PluginEvent {
public:
    explicit FocusChangedEvent(bool hasFocus) : m_hasFocus(hasFocus) {}

    bool m_hasFocus;
};

// One of the window's browser timers fired; the data is opaque and borrowed.
class TimerEvent : public PluginEvent {
public:
    TimerEvent(std::uint32_t timerId, void* data) : m_timerId(timerId), m_data(data) {}

    std::uint32_t m_timerId;
    void* m_data;
};

// The window's position or size changed.
class ResizedEvent : public PluginEvent {};

// The window's clip rectangle changed.
class ClipChangedEvent : public PluginEvent {};

// The window's drawing context changed.
class ChangedEvent : public PluginEvent {};

} // namespace FB
