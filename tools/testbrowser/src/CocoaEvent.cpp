#include <testbrowser/CocoaEvent.h>

#include <Foundation/Foundation.h>

#include <cstring>

namespace testbrowser {

namespace {

NSString* retainedString(const std::string& text) {
    NSAutoreleasePool* pool = new NSAutoreleasePool();
    NSString* string = NSString::stringWithUTF8String(text.c_str());
    if (string)
        string->retain();
    pool->release();
    return string;
}

void forEachString(const NPCocoaEvent& event, void (*action)(NSString*)) {
    NSString* strings[] = {nullptr, nullptr};
    if (event.type == NPCocoaEventKeyDown || event.type == NPCocoaEventKeyUp ||
        event.type == NPCocoaEventFlagsChanged) {
        strings[0] = event.data.key.characters;
        strings[1] = event.data.key.charactersIgnoringModifiers;
    } else if (event.type == NPCocoaEventTextInput) {
        strings[0] = event.data.text.text;
    }
    for (NSString* string : strings)
        if (string)
            action(string);
}

} // namespace

CocoaEvent::CocoaEvent(NPCocoaEventType type) {
    std::memset(&m_event, 0, sizeof m_event);
    m_event.type = type;
}

CocoaEvent::CocoaEvent(const CocoaEvent& other) : m_event(other.m_event) {
    retainStrings();
}

CocoaEvent& CocoaEvent::operator=(const CocoaEvent& other) {
    if (this != &other) {
        other.retainStrings();
        releaseStrings();
        m_event = other.m_event;
    }
    return *this;
}

CocoaEvent::~CocoaEvent() {
    releaseStrings();
}

void CocoaEvent::retainStrings() const {
    forEachString(m_event, [](NSString* string) { string->retain(); });
}

void CocoaEvent::releaseStrings() const {
    forEachString(m_event, [](NSString* string) { string->release(); });
}

CocoaEvent CocoaEvent::mouse(NPCocoaEventType type, double x, double y, int32_t button,
                             int32_t clickCount, uint32_t modifiers) {
    CocoaEvent event(type);
    auto& mouse = event.m_event.data.mouse;
    mouse.modifierFlags = modifiers;
    mouse.pluginX = x;
    mouse.pluginY = y;
    mouse.buttonNumber = button;
    mouse.clickCount = clickCount;
    return event;
}

CocoaEvent CocoaEvent::scroll(double x, double y, double deltaX, double deltaY,
                              uint32_t modifiers) {
    CocoaEvent event = mouse(NPCocoaEventScrollWheel, x, y, 0, 0, modifiers);
    event.m_event.data.mouse.deltaX = deltaX;
    event.m_event.data.mouse.deltaY = deltaY;
    return event;
}

CocoaEvent CocoaEvent::key(NPCocoaEventType type, uint16_t keyCode, const std::string& characters,
                           uint32_t modifiers, bool isARepeat) {
    CocoaEvent event(type);
    auto& key = event.m_event.data.key;
    key.modifierFlags = modifiers;
    key.characters = retainedString(characters);
    key.charactersIgnoringModifiers = retainedString(characters);
    key.isARepeat = isARepeat;
    key.keyCode = keyCode;
    return event;
}

CocoaEvent CocoaEvent::flagsChanged(uint32_t modifiers, uint16_t keyCode) {
    CocoaEvent event(NPCocoaEventFlagsChanged);
    event.m_event.data.key.modifierFlags = modifiers;
    event.m_event.data.key.keyCode = keyCode;
    return event;
}

CocoaEvent CocoaEvent::focus(NPCocoaEventType type, bool hasFocus) {
    CocoaEvent event(type);
    event.m_event.data.focus.hasFocus = hasFocus;
    return event;
}

CocoaEvent CocoaEvent::text(const std::string& text) {
    CocoaEvent event(NPCocoaEventTextInput);
    event.m_event.data.text.text = retainedString(text);
    return event;
}

CocoaEvent CocoaEvent::draw(CGContext* context, double x, double y, double width, double height) {
    CocoaEvent event(NPCocoaEventDrawRect);
    auto& draw = event.m_event.data.draw;
    draw.context = context;
    draw.x = x;
    draw.y = y;
    draw.width = width;
    draw.height = height;
    return event;
}

} // namespace testbrowser
