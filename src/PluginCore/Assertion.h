#pragma once

// Programming errors the framework checks for at run time: a failed check
// raises std::logic_error with the check's text, in every build.

#include <stdexcept>

namespace FB {

inline void checkAssertion(bool holds, const char* text) {
    if (!holds) {
        throw std::logic_error(text);
    }
}

} // namespace FB
