#pragma once

// FB::Rect: a rectangle in the order of the browser's own rectangles.

#include <cstdint>

namespace FB {

struct Rect {
    std::int32_t top;
    std::int32_t left;
    // top + height
    std::int32_t bottom;
    // left + width
    std::int32_t right;
};

} // namespace FB
