#pragma once

// Key and text events. A key event carries the framework's key code, the
// platform's own value for the key and the platform's modifier flags.

#include "PluginEvent.h"

#include <cstdint>
#include <string>

namespace FB {

// The framework's key codes, as the platform key tables produce them.
enum FBKeyCode : std::int32_t {
    FBKEY_CAPSLOCK = 3,
    FBKEY_CONTROL = 5,
    FBKEY_BACK = 7,
    FBKEY_ESCAPE = 9,
    FBKEY_F1 = 11,
    FBKEY_F10 = 12,
    FBKEY_F11 = 13,
    FBKEY_F12 = 14,
    FBKEY_F13 = 15,
    FBKEY_F14 = 16,
    FBKEY_F15 = 17,
    FBKEY_F2 = 22,
    FBKEY_F3 = 26,
    FBKEY_F4 = 27,
    FBKEY_F5 = 28,
    FBKEY_F6 = 29,
    FBKEY_F7 = 30,
    FBKEY_F8 = 31,
    FBKEY_F9 = 32,
    FBKEY_HELP = 33,
    FBKEY_PAGEDOWN = 49,
    FBKEY_PAGEUP = 50,
    FBKEY_RETURN = 52,
    FBKEY_SHIFT = 56,
    FBKEY_SPACE = 58,
    FBKEY_TAB = 60,
    FBKEY_END = 69,
    FBKEY_HOME = 70,
    FBKEY_COMMAND = 73,
    FBKEY_OPTION = 74,
    FBKEY_RIGHTSHIFT = 75,
    FBKEY_RIGHTOPTION = 76,
    FBKEY_RIGHTCONTROL = 77,
    FBKEY_FUNCTION = 78,
    FBKEY_DELETE = 79,
    FBKEY_LEFT = 80,
    FBKEY_RIGHT = 81,
    FBKEY_DOWN = 82,
    FBKEY_UP = 83,
    // Any key the platform table does not know.
    FBKEY_UNKNOWN = 84,
};

class KeyEvent : public PluginEvent {
public:
    KeyEvent(FBKeyCode keyCode, std::uint32_t osKeyCode, std::uint32_t modifiers)
        : m_keyCode(keyCode), m_osKeyCode(osKeyCode), m_modifiers(modifiers) {}

    FBKeyCode m_keyCode;
    std::uint32_t m_osKeyCode;
    std::uint32_t m_modifiers;
};

class KeyDownEvent : public KeyEvent {
public:
    using KeyEvent::KeyEvent;
};

class KeyUpEvent : public KeyEvent {
public:
    using KeyEvent::KeyEvent;
};

// Typed text, UTF-8.
class TextEvent : public PluginEvent {
public:
    explicit TextEvent(const std::string& text) : m_text(text) {}

    std::string m_text;
};

} // namespace FB
