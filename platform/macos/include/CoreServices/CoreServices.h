// The CoreServices clock: microseconds of the main run loop's clock.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

struct UnsignedWide {
    UInt32 lo;
    UInt32 hi;
};

void Microseconds(UnsignedWide* microTickCount);
