// The CoreGraphics calls of this system. The only context is a recording
// one (MacStandIn/StandIn.h): each call is kept as a line of text.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>

typedef double CGFloat;

struct CGPoint {
    CGFloat x;
    CGFloat y;
};
struct CGSize {
    CGFloat width;
    CGFloat height;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
};
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
    return CGRect{{x, y}, {width, height}};
}

struct CGAffineTransform {
    CGFloat a, b, c, d, tx, ty;
};
inline CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d,
                                               CGFloat tx, CGFloat ty) {
    return CGAffineTransform{a, b, c, d, tx, ty};
}

struct CGContext;
struct CGColorSpace;
struct CGColor;
typedef CGContext* CGContextRef;
typedef CGColorSpace* CGColorSpaceRef;
typedef CGColor* CGColorRef;

typedef enum { kCGEncodingFontSpecific = 0, kCGEncodingMacRoman = 1 } CGTextEncoding;

extern const CFStringRef kCGColorSpaceGenericRGB;

void CGContextSaveGState(CGContextRef context);
void CGContextRestoreGState(CGContextRef context);
void CGContextRelease(CGContextRef context);

// NULL for a name other than kCGColorSpaceGenericRGB.
CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name);
void CGColorSpaceRelease(CGColorSpaceRef space);
// Components: red, green, blue and alpha.
CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[]);
void CGColorRelease(CGColorRef color);

void CGContextSetFillColorWithColor(CGContextRef context, CGColorRef color);
void CGContextSetStrokeColorWithColor(CGContextRef context, CGColorRef color);
void CGContextFillRect(CGContextRef context, CGRect rect);
void CGContextSetTextMatrix(CGContextRef context, CGAffineTransform matrix);
void CGContextSelectFont(CGContextRef context, const char* name, CGFloat size,
                         CGTextEncoding encoding);
void CGContextShowTextAtPoint(CGContextRef context, CGFloat x, CGFloat y, const char* text,
                              size_t length);
