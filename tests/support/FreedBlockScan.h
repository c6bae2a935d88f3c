// A search of freed memory and a count of allocations: linking
// FreedBlockScan.cpp replaces the program's global allocation functions, so
// that while a step runs every block freed is searched for a text before it
// is released, or every block allocated is counted.
#pragma once

#include <functional>
#include <string>

// Runs `step` and returns how many blocks freed meanwhile held `sought`.
int freedBlocksHolding(const std::string& sought, const std::function<void()>& step);

// Runs `step` and returns how many blocks it took from operator new.
int blocksAllocated(const std::function<void()>& step);
