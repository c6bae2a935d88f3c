#include "KeyCodesCocoa.h"

namespace FB {

FBKeyCode CocoaKeyCodeToFBKeyCode(unsigned long keyCode) {
    switch (keyCode) {
    case 36:
        return FBKEY_RETURN;
    case 48:
        return FBKEY_TAB;
    case 49:
        return FBKEY_SPACE;
    case 51:
        return FBKEY_BACK;
    case 53:
        return FBKEY_ESCAPE;
    case 55:
        return FBKEY_COMMAND;
    case 56:
        return FBKEY_SHIFT;
    case 57:
        return FBKEY_CAPSLOCK;
    case 58:
        return FBKEY_OPTION;
    case 59:
        return FBKEY_CONTROL;
    case 60:
        return FBKEY_RIGHTSHIFT;
    case 61:
        return FBKEY_RIGHTOPTION;
    case 62:
        return FBKEY_RIGHTCONTROL;
    case 63:
        return FBKEY_FUNCTION;
    case 96:
        return FBKEY_F5;
    case 97:
        return FBKEY_F6;
    case 98:
        return FBKEY_F7;
    case 99:
        return FBKEY_F3;
    case 100:
        return FBKEY_F8;
    case 101:
        return FBKEY_F9;
    case 103:
        return FBKEY_F11;
    case 105:
        return FBKEY_F13;
    case 107:
        return FBKEY_F14;
    case 109:
        return FBKEY_F10;
    case 111:
        return FBKEY_F12;
    case 113:
        return FBKEY_F15;
    case 114:
        return FBKEY_HELP;
    case 115:
        return FBKEY_HOME;
    case 116:
        return FBKEY_PAGEUP;
    case 117:
        return FBKEY_DELETE;
    case 118:
        return FBKEY_F4;
    case 119:
        return FBKEY_END;
    case 120:
        return FBKEY_F2;
    case 121:
        return FBKEY_PAGEDOWN;
    case 122:
        return FBKEY_F1;
    case 123:
        return FBKEY_LEFT;
    case 124:
        return FBKEY_RIGHT;
    case 125:
        return FBKEY_DOWN;
    case 126:
        return FBKEY_UP;
    default:
        return FBKEY_UNKNOWN;
    }
}

} // namespace FB
