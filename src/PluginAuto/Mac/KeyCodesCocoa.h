#pragma once

// The framework's key code for a macOS virtual key code.

#include "PluginEvents/KeyboardEvents.h"

namespace FB {

// Keys the table does not know (letters, digits, punctuation and the
// keypad among them) give FBKEY_UNKNOWN.
FBKeyCode CocoaKeyCodeToFBKeyCode(unsigned long keyCode);

} // namespace FB
