// The CoreFoundation types and calls this system uses. Every object made
// here is counted, and CFRelease of something that is not a live object is
// counted as a fault instead of crashing (see MacStandIn/StandIn.h).
#pragma once

#include <cstdint>

typedef uint8_t UInt8;
typedef uint16_t UInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef unsigned char Boolean;

typedef long CFIndex;
typedef const void* CFTypeRef;

struct CFStringObject;
struct CFNumberObject;
struct CFDictionaryObject;
typedef const CFStringObject* CFStringRef;
typedef const CFNumberObject* CFNumberRef;
typedef const CFDictionaryObject* CFDictionaryRef;

typedef UInt32 CFStringEncoding;
enum : CFStringEncoding { kCFStringEncodingUTF8 = 0x08000100 };

typedef CFIndex CFNumberType;
enum : CFNumberType { kCFNumberSInt32Type = 3, kCFNumberIntType = 9 };

void CFRelease(CFTypeRef object);

// Length in UTF-16 units.
CFIndex CFStringGetLength(CFStringRef string);
// Copies the text with a terminating NUL; false (buffer untouched) when it
// does not fit or the encoding is not UTF-8.
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);

// Stores the number as a 32-bit integer; false for another number type.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);

// The value under a key equal to the given string key, or NULL.
const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
