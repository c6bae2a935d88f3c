// The Cocoa event record that a macOS browser hands to NPP_HandleEvent, with
// its event types and the AppKit modifier-flag bits its events carry.
#pragma once

#include "NPTypes.h"

class NSString;
typedef NSString NPNSString;

typedef enum {
    NPCocoaEventDrawRect = 1,
    NPCocoaEventMouseDown = 2,
    NPCocoaEventMouseUp = 3,
    NPCocoaEventMouseMoved = 4,
    NPCocoaEventMouseEntered = 5,
    NPCocoaEventMouseExited = 6,
    NPCocoaEventMouseDragged = 7,
    NPCocoaEventKeyDown = 8,
    NPCocoaEventKeyUp = 9,
    NPCocoaEventFlagsChanged = 10,
    NPCocoaEventFocusChanged = 11,
    NPCocoaEventWindowFocusChanged = 12,
    NPCocoaEventScrollWheel = 13,
    NPCocoaEventTextInput = 14
} NPCocoaEventType;

enum {
    NSShiftKeyMask = 0x20000,
    NSControlKeyMask = 0x40000,
    NSAlternateKeyMask = 0x80000,
    NSCommandKeyMask = 0x100000
};

typedef struct _NPCocoaEvent {
    NPCocoaEventType type;
    uint32_t version;
    union {
        struct {
            uint32_t modifierFlags;
            double pluginX;
            double pluginY;
            int32_t buttonNumber;
            int32_t clickCount;
            double deltaX;
            double deltaY;
            double deltaZ;
        } mouse;
        struct {
            uint32_t modifierFlags;
            NPNSString* characters;
            NPNSString* charactersIgnoringModifiers;
            NPBool isARepeat;
            uint16_t keyCode;
        } key;
        struct {
            CGContext* context;
            double x;
            double y;
            double width;
            double height;
        } draw;
        struct {
            NPBool hasFocus;
        } focus;
        struct {
            NPNSString* text;
        } text;
    } data;
} NPCocoaEvent;

static_assert(sizeof(NPCocoaEventType) == 4);
static_assert(sizeof(NPCocoaEvent) == 64 && alignof(NPCocoaEvent) == 8);
static_assert(offsetof(NPCocoaEvent, version) == 4 && offsetof(NPCocoaEvent, data) == 8);
static_assert(offsetof(NPCocoaEvent, data.mouse.pluginX) == 16 &&
              offsetof(NPCocoaEvent, data.mouse.pluginY) == 24 &&
              offsetof(NPCocoaEvent, data.mouse.buttonNumber) == 32 &&
              offsetof(NPCocoaEvent, data.mouse.clickCount) == 36 &&
              offsetof(NPCocoaEvent, data.mouse.deltaX) == 40 &&
              offsetof(NPCocoaEvent, data.mouse.deltaZ) == 56);
static_assert(offsetof(NPCocoaEvent, data.key.characters) == 16 &&
              offsetof(NPCocoaEvent, data.key.charactersIgnoringModifiers) == 24 &&
              offsetof(NPCocoaEvent, data.key.isARepeat) == 32 &&
              offsetof(NPCocoaEvent, data.key.keyCode) == 34);
static_assert(offsetof(NPCocoaEvent, data.draw.context) == 8 &&
              offsetof(NPCocoaEvent, data.draw.x) == 16 &&
              offsetof(NPCocoaEvent, data.draw.height) == 40);
static_assert(offsetof(NPCocoaEvent, data.focus.hasFocus) == 8 &&
              offsetof(NPCocoaEvent, data.text.text) == 8);
