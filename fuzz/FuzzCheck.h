// What the fuzz targets share: a failed check ends the run, so libFuzzer keeps
// the input that broke it.
#pragma once

#include <cstdlib>

inline void require(bool condition) {
    if (!condition)
        std::abort();
}
