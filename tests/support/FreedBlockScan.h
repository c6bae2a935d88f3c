// A search of freed memory: linking FreedBlockScan.cpp replaces the program's
// global allocation functions, so that while a step runs every block freed
// is searched for a text before it is released.
#pragma once

#include <functional>
#include <string>

// Runs `step` and returns how many blocks freed meanwhile held `sought`.
int freedBlocksHolding(const std::string& sought, const std::function<void()>& step);
