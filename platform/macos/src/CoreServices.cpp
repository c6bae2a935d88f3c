#include <CoreServices/CoreServices.h>
#include <MacStandIn/RunLoop.h>

void Microseconds(UnsignedWide* microTickCount) {
    auto now = static_cast<uint64_t>(macos::RunLoop::main().now().count());
    microTickCount->lo = static_cast<UInt32>(now & 0xffffffffu);
    microTickCount->hi = static_cast<UInt32>(now >> 32);
}
