// A CoreGraphics context that records each drawing call as a line of text.
#include "CFRuntime.h"

#include <CoreGraphics/CoreGraphics.h>
#include <MacStandIn/StandIn.h>

#include <array>
#include <sstream>

struct CGColorSpace : CFRuntimeObject {};

struct CGColor : CFRuntimeObject {
    std::array<CGFloat, 4> components{};
};

struct CGContext : CFRuntimeObject {
    std::vector<std::string> calls;
    size_t savedStates = 0;

    void record(const std::string& call) { calls.push_back(call); }
};

const CFStringRef kCGColorSpaceGenericRGB = makeConstantString("kCGColorSpaceGenericRGB");

namespace {

std::string numbers(std::initializer_list<CGFloat> values) {
    std::ostringstream text;
    const char* separator = "";
    for (CGFloat value : values) {
        text << separator << value;
        separator = " ";
    }
    return text.str();
}

void recordColour(CGContextRef context, const char* call, CGColorRef color) {
    if (!context)
        return;
    if (!color) {
        context->record(std::string(call) + " NULL");
        return;
    }
    const auto& c = color->components;
    context->record(std::string(call) + " " + numbers({c[0], c[1], c[2], c[3]}));
}

} // namespace

void CGContextSaveGState(CGContextRef context) {
    if (!context)
        return;
    ++context->savedStates;
    context->record("SaveGState");
}

void CGContextRestoreGState(CGContextRef context) {
    if (!context)
        return;
    if (context->savedStates == 0) {
        context->record("RestoreGState without SaveGState");
        return;
    }
    --context->savedStates;
    context->record("RestoreGState");
}

void CGContextRelease(CGContextRef context) {
    if (context)
        CFRelease(context);
}

CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name) {
    if (!name || name->utf8 != kCGColorSpaceGenericRGB->utf8)
        return nullptr;
    return cfruntime::create<CGColorSpace>();
}

void CGColorSpaceRelease(CGColorSpaceRef space) {
    if (space)
        CFRelease(space);
}

CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[]) {
    if (!space || !components)
        return nullptr;
    CGColor* color = cfruntime::create<CGColor>();
    for (size_t i = 0; i < color->components.size(); ++i)
        color->components[i] = components[i];
    return color;
}

void CGColorRelease(CGColorRef color) {
    if (color)
        CFRelease(color);
}

void CGContextSetFillColorWithColor(CGContextRef context, CGColorRef color) {
    recordColour(context, "SetFillColor", color);
}

void CGContextSetStrokeColorWithColor(CGContextRef context, CGColorRef color) {
    recordColour(context, "SetStrokeColor", color);
}

void CGContextFillRect(CGContextRef context, CGRect rect) {
    if (context)
        context->record("FillRect " +
                        numbers({rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}));
}

void CGContextSetTextMatrix(CGContextRef context, CGAffineTransform m) {
    if (context)
        context->record("SetTextMatrix " + numbers({m.a, m.b, m.c, m.d, m.tx, m.ty}));
}

void CGContextSelectFont(CGContextRef context, const char* name, CGFloat size,
                         CGTextEncoding encoding) {
    if (context && name)
        context->record("SelectFont " + std::string(name) + " " +
                        numbers({size, static_cast<CGFloat>(encoding)}));
}

void CGContextShowTextAtPoint(CGContextRef context, CGFloat x, CGFloat y, const char* text,
                              size_t length) {
    if (context && text)
        context->record("ShowTextAtPoint " + numbers({x, y}) + " " + std::string(text, length));
}

namespace macos {

CGContextRef createRecordingContext() {
    return cfruntime::create<CGContext>();
}

std::vector<std::string> recordedDrawing(CGContextRef context) {
    return context->calls;
}

void clearRecordedDrawing(CGContextRef context) {
    context->calls.clear();
}

size_t savedStateDepth(CGContextRef context) {
    return context->savedStates;
}

} // namespace macos
