// The search of the blocks one library frees counts the blocks that the C++
// runtime frees for it, and only those.
#include "FreedBlockScan.h"

#include <gtest/gtest.h>
#include <string>

extern "C" void growStringAroundText(const char* text);

namespace {

// Longer than a string's inline buffer, so that every copy has a block.
const std::string text = "a text long enough for a block";

// The string's first buffer, which the runtime frees as the string grows,
// and its grown buffer, which the library's own code frees.
TEST(BlocksFreedByLibrary, CountTheBlocksTheRuntimeFreesForTheLibrary) {
    EXPECT_EQ(blocksFreedByLibraryHolding(GROWING_STRING_LIBRARY, text,
                                          [] { growStringAroundText(text.c_str()); }),
              2);
}

// The runtime frees the same blocks for this program's own string: they are
// not the library's.
TEST(BlocksFreedByLibrary, LeaveOutTheBlocksTheRuntimeFreesForOtherCode) {
    const auto growHere = [] {
        std::string copy(text);
        copy.insert(0, "<<");
    };
    EXPECT_EQ(blocksFreedByLibraryHolding(GROWING_STRING_LIBRARY, text, growHere), 0);
    EXPECT_EQ(freedBlocksHolding(text, growHere), 2);
}

} // namespace
