#include "FreedBlockScan.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// The bytes searched for, set before arming; no allocation while armed.
char gSought[256];
std::size_t gSoughtLength = 0;
std::atomic<bool> gArmed(false);
std::atomic<int> gFreedHoldingIt(0);
std::atomic<bool> gCounting(false);
std::atomic<int> gAllocated(0);

void scanFreedBlock(void* block) {
    if (!gArmed || !block || gSoughtLength == 0)
        return;
    if (memmem(block, malloc_usable_size(block), gSought, gSoughtLength))
        ++gFreedHoldingIt;
}

// Disarms when the step ends, whichever way.
struct Disarm {
    ~Disarm() { gArmed = false; }
};

struct StopCounting {
    ~StopCounting() { gCounting = false; }
};

} // namespace

void* operator new(std::size_t size) {
    if (gCounting)
        ++gAllocated;
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* block) noexcept {
    scanFreedBlock(block);
    std::free(block);
}

void operator delete[](void* block) noexcept {
    operator delete(block);
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    operator delete(block);
}

int freedBlocksHolding(const std::string& sought, const std::function<void()>& step) {
    if (sought.empty() || sought.size() > sizeof gSought)
        throw std::invalid_argument("the text sought must have 1 to 256 bytes");
    std::memcpy(gSought, sought.data(), sought.size());
    gSoughtLength = sought.size();
    gFreedHoldingIt = 0;
    gArmed = true;
    const Disarm disarm;
    step();
    return gFreedHoldingIt;
}

int blocksAllocated(const std::function<void()>& step) {
    gAllocated = 0;
    gCounting = true;
    const StopCounting stop;
    step();
    return gAllocated;
}
