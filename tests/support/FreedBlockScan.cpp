#include "FreedBlockScan.h"

#include <link.h>
#include <malloc.h>

#include <atomic>
#include <climits>
#include <cstdint>
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

// The code whose frees are searched; none watched means every caller's.
struct CodeRange {
    std::uintptr_t start;
    std::uintptr_t end;
};
CodeRange gWatched[8];
std::atomic<std::size_t> gWatchedCount(0);

bool isWatchedCaller(const void* caller) {
    if (gWatchedCount == 0)
        return true;
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(caller);
    for (std::size_t i = 0; i < gWatchedCount; ++i) {
        if (at >= gWatched[i].start && at < gWatched[i].end)
            return true;
    }
    return false;
}

// `caller` is the return address of the operator delete that was called.
void scanFreedBlock(void* block, const void* caller) {
    if (!gArmed || !block || gSoughtLength == 0 || !isWatchedCaller(caller))
        return;
    if (memmem(block, malloc_usable_size(block), gSought, gSoughtLength))
        ++gFreedHoldingIt;
}

void release(void* block, const void* caller) {
    scanFreedBlock(block, caller);
    std::free(block);
}

// Disarms when the step ends, whichever way, and forgets the watched code.
struct Disarm {
    ~Disarm() {
        gArmed = false;
        gWatchedCount = 0;
    }
};

int scanWhile(const std::string& sought, const std::function<void()>& step) {
    if (sought.empty() || sought.size() > sizeof gSought)
        throw std::invalid_argument("the text sought must have 1 to 256 bytes");
    std::memcpy(gSought, sought.data(), sought.size());
    gSoughtLength = sought.size();
    gFreedHoldingIt = 0;
    gArmed = true;
    step();
    return gFreedHoldingIt;
}

// Records the executable segments of the loaded object whose file is `path`.
int watchSegmentsOf(dl_phdr_info* info, std::size_t, void* path) {
    char loaded[PATH_MAX];
    if (!info->dlpi_name || !realpath(info->dlpi_name, loaded) ||
        std::strcmp(loaded, static_cast<const char*>(path)) != 0)
        return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X) ||
            gWatchedCount == sizeof gWatched / sizeof gWatched[0])
            continue;
        const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        gWatched[gWatchedCount++] = CodeRange{start, start + segment.p_memsz};
    }
    return 1;
}

struct StopCounting {
    ~StopCounting() { gCounting = false; }
};

} // namespace

// A new block is filled with a byte no text sought holds, so that what a
// block holds when it is freed was written while it was in use: bytes left
// by the block's earlier owner (the browser's free of a page's text, say)
// are not counted against the code that frees it next.
void* operator new(std::size_t size) {
    if (gCounting)
        ++gAllocated;
    if (void* block = std::malloc(size ? size : 1)) {
        std::memset(block, 0xA5, malloc_usable_size(block));
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* block) noexcept {
    release(block, __builtin_return_address(0));
}

void operator delete[](void* block) noexcept {
    release(block, __builtin_return_address(0));
}

void operator delete(void* block, std::size_t) noexcept {
    release(block, __builtin_return_address(0));
}

void operator delete[](void* block, std::size_t) noexcept {
    release(block, __builtin_return_address(0));
}

int freedBlocksHolding(const std::string& sought, const std::function<void()>& step) {
    const Disarm disarm;
    return scanWhile(sought, step);
}

int blocksFreedByLibraryHolding(const std::string& library, const std::string& sought,
                                const std::function<void()>& step) {
    char path[PATH_MAX];
    if (!realpath(library.c_str(), path))
        throw std::invalid_argument("no file " + library);
    const Disarm disarm;
    dl_iterate_phdr(&watchSegmentsOf, path);
    if (gWatchedCount == 0)
        throw std::invalid_argument(library + " is not loaded");
    return scanWhile(sought, step);
}

int blocksAllocated(const std::function<void()>& step) {
    gAllocated = 0;
    gCounting = true;
    const StopCounting stop;
    step();
    return gAllocated;
}
