// A Cocoa event as the browser builds it, owning the strings it points to.
#pragma once

#include <NPAPI.h>

#include <string>

namespace testbrowser {

class CocoaEvent {
public:
    static CocoaEvent mouse(NPCocoaEventType type, double x, double y, int32_t button = 0,
                            int32_t clickCount = 1, uint32_t modifiers = 0);
    static CocoaEvent scroll(double x, double y, double deltaX, double deltaY,
                             uint32_t modifiers = 0);
    static CocoaEvent key(NPCocoaEventType type, uint16_t keyCode, const std::string& characters,
                          uint32_t modifiers = 0, bool isARepeat = false);
    static CocoaEvent flagsChanged(uint32_t modifiers, uint16_t keyCode = 0);
    static CocoaEvent focus(NPCocoaEventType type, bool hasFocus);
    static CocoaEvent text(const std::string& text);
    static CocoaEvent draw(CGContext* context, double x, double y, double width, double height);

    CocoaEvent(const CocoaEvent& other);
    CocoaEvent& operator=(const CocoaEvent& other);
    ~CocoaEvent();

    NPCocoaEvent& record() { return m_event; }
    const NPCocoaEvent& record() const { return m_event; }

private:
    explicit CocoaEvent(NPCocoaEventType type);
    void retainStrings() const;
    void releaseStrings() const;
    NPCocoaEvent m_event;
};

} // namespace testbrowser
