// A search of freed memory and a count of allocations: linking
// FreedBlockScan.cpp replaces the program's global allocation functions, so
// that while a step runs every block freed is searched for a text before it
// is released, or every block allocated is counted.
#pragma once

#include <functional>
#include <string>

// Runs `step` and returns how many blocks freed meanwhile held `sought`.
int freedBlocksHolding(const std::string& sought, const std::function<void()>& step);

// The same for the blocks freed by the code of one shared object, the one
// loaded from the file `library`, including those the C and C++ runtimes
// free for it (a string's old buffer when it grows in libstdc++): a free is
// charged to the first caller outside the runtimes on the stack. The blocks
// the program and the other libraries free are not searched. Raises
// std::invalid_argument when no such object is loaded.
int blocksFreedByLibraryHolding(const std::string& library, const std::string& sought,
                                const std::function<void()>& step);

// Runs `step` and returns how many blocks it took from operator new.
int blocksAllocated(const std::function<void()>& step);
