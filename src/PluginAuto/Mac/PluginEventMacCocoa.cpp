#include "PluginEventMacCocoa.h"

#include "KeyCodesCocoa.h"
#include "PluginEvents/GeneralEvents.h"
#include "PluginEvents/MacEventCocoa.h"
#include "PluginEvents/MouseEvents.h"
#include "PluginWindowMac.h"

#include <Foundation/Foundation.h>

#include <boost/optional.hpp>
#include <cmath>
#include <limits>

namespace FB {

namespace {

template <class Event> bool send(PluginWindowMac& window, Event evt) {
    return window.SendEvent(&evt);
}

// Truncated toward zero; values beyond the 32-bit range are clamped and
// NaN reads as 0, so no browser value can overflow the conversion.
std::int32_t toInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double low = std::numeric_limits<std::int32_t>::min();
    const double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::fmax(low, std::fmin(high, value)));
}

// The Shift, Control and Option bits as the mouse state: 1, 2 and 4.
std::uint32_t mouseState(std::uint32_t modifierFlags) {
    return (modifierFlags & (NSShiftKeyMask | NSControlKeyMask | NSAlternateKeyMask)) >> 17;
}

// Cocoa numbers the buttons left 0, right 1, middle 2.
boost::optional<MouseButtonEvent::MouseButton> buttonOf(std::int32_t buttonNumber) {
    switch (buttonNumber) {
    case 0:
        return MouseButtonEvent::MouseButton_Left;
    case 1:
        return MouseButtonEvent::MouseButton_Right;
    case 2:
        return MouseButtonEvent::MouseButton_Middle;
    default:
        // No button; the value is set too, so that no compiler takes it for
        // read before it was written.
        return boost::make_optional(false, MouseButtonEvent::MouseButton_Left);
    }
}

// The first UTF-16 unit of the text; 0 for no text or an empty one.
std::uint32_t firstCharacter(NSString* text) {
    return text && text->length() > 0 ? text->characterAtIndex(0) : 0;
}

// The text as UTF-8; "" when there is none.
std::string utf8Text(NSString* text) {
    const char* const utf8 = text ? text->UTF8String() : nullptr;
    return utf8 ? utf8 : "";
}

bool sendDrawing(PluginWindowMac& window, const NPCocoaEvent& event) {
    if (window.getDrawingModel() != NPDrawingModelCoreGraphics) {
        return send(window, RefreshEvent());
    }
    const auto& draw = event.data.draw;
    const Rect clip = {toInt32(draw.y), toInt32(draw.x), toInt32(draw.y + draw.height),
                       toInt32(draw.x + draw.width)};
    return send(window, CoreGraphicsDraw(draw.context, window.getWindowPosition(), clip));
}

// Mouse down, up, move and scroll, which carry a button; an unknown button
// is not sent.
bool sendButtonEvent(PluginWindowMac& window, const NPCocoaEvent& event) {
    const auto& mouse = event.data.mouse;
    const boost::optional<MouseButtonEvent::MouseButton> button = buttonOf(mouse.buttonNumber);
    if (!button) {
        return false;
    }
    const std::int32_t x = toInt32(mouse.pluginX);
    const std::int32_t y = toInt32(mouse.pluginY);
    const std::uint32_t state = mouseState(mouse.modifierFlags);
    switch (event.type) {
    case NPCocoaEventMouseDown:
        if (mouse.clickCount == 2) {
            return send(window, MouseDoubleClickEvent(*button, x, y, state));
        }
        return send(window, MouseDownEvent(*button, x, y, state));
    case NPCocoaEventMouseUp:
        return send(window, MouseUpEvent(*button, x, y, state));
    case NPCocoaEventMouseMoved:
        return send(window, MouseMoveEvent(x, y, state));
    default:
        return send(window, MouseScrollEvent(x, y, mouse.deltaX, mouse.deltaY, state));
    }
}

template <class KeyEventType> bool sendKey(PluginWindowMac& window, const NPCocoaEvent& event) {
    const auto& key = event.data.key;
    const std::uint32_t character = firstCharacter(key.charactersIgnoringModifiers);
    return send(window,
                KeyEventType(CocoaKeyCodeToFBKeyCode(key.keyCode), character, key.modifierFlags));
}

struct ModifierKey {
    const char* name;
    std::uint32_t mask;
    FBKeyCode keyCode;
};

const ModifierKey modifierKeys[] = {
    {"Shift", NSShiftKeyMask, FBKEY_SHIFT},
    {"Control", NSControlKeyMask, FBKEY_CONTROL},
    {"Option", NSAlternateKeyMask, FBKEY_OPTION},
    {"Command", NSCommandKeyMask, FBKEY_COMMAND},
};

} // namespace

std::int16_t PluginEventMacCocoa::HandleEvent(void* event) {
    const boost::shared_ptr<PluginWindowMac> window = m_pluginWindow.lock();
    if (!window || !event) {
        return 0;
    }
    NPCocoaEvent* const cocoaEvent = static_cast<NPCocoaEvent*>(event);
    MacEventCocoa raw(cocoaEvent);
    if (window->SendEvent(&raw)) {
        return 1;
    }
    return translate(*window, *cocoaEvent) ? 1 : 0;
}

bool PluginEventMacCocoa::translate(PluginWindowMac& window, const NPCocoaEvent& event) {
    const auto& mouse = event.data.mouse;
    switch (event.type) {
    case NPCocoaEventDrawRect:
        return sendDrawing(window, event);
    case NPCocoaEventMouseDown:
    case NPCocoaEventMouseUp:
    case NPCocoaEventMouseMoved:
    case NPCocoaEventScrollWheel:
        return sendButtonEvent(window, event);
    case NPCocoaEventMouseEntered:
        return send(window, MouseEnteredEvent(toInt32(mouse.pluginX), toInt32(mouse.pluginY)));
    case NPCocoaEventMouseExited:
        return send(window, MouseExitedEvent(toInt32(mouse.pluginX), toInt32(mouse.pluginY)));
    case NPCocoaEventMouseDragged:
        return send(window, MouseMoveEvent(toInt32(mouse.pluginX), toInt32(mouse.pluginY),
                                           mouseState(mouse.modifierFlags)));
    case NPCocoaEventKeyDown:
        return sendKey<KeyDownEvent>(window, event);
    case NPCocoaEventKeyUp:
        return sendKey<KeyUpEvent>(window, event);
    case NPCocoaEventFlagsChanged:
        return ProcessModifiers(event.data.key.modifierFlags) != 0;
    case NPCocoaEventFocusChanged:
        return send(window, FocusChangedEvent(event.data.focus.hasFocus != 0));
    case NPCocoaEventTextInput:
        return send(window, TextEvent(utf8Text(event.data.text.text)));
    default:
        return false;
    }
}

std::int16_t PluginEventMacCocoa::ProcessModifiers(std::uint32_t modifierFlags) {
    const boost::shared_ptr<PluginWindowMac> window = m_pluginWindow.lock();
    if (!window) {
        return 0;
    }
    const std::uint32_t before = m_lastModifierFlags;
    m_lastModifierFlags = modifierFlags;
    bool handled = false;
    for (const ModifierKey& key : modifierKeys) {
        const bool down = (modifierFlags & key.mask) != 0;
        const bool wasDown = (before & key.mask) != 0;
        if (down && !wasDown) {
            NSLog("%s pressed!", key.name);
            handled = send(*window, KeyDownEvent(key.keyCode, key.mask, 0)) || handled;
        } else if (!down && wasDown) {
            NSLog("%s depressed!", key.name);
            handled = send(*window, KeyUpEvent(key.keyCode, key.mask, 0)) || handled;
        }
    }
    return handled ? 1 : 0;
}

PluginEventMac* createPluginEventMacCocoa() {
    return new PluginEventMacCocoa();
}

} // namespace FB
