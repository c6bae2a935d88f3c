#include "FreedBlockScan.h"

#include <link.h>
#include <malloc.h>
#include <unwind.h>

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

// Code ranges of loaded objects, filled before arming and read while armed.
struct CodeRange {
    std::uintptr_t start;
    std::uintptr_t end;
};

struct CodeRanges {
    CodeRange ranges[16];
    std::atomic<std::size_t> count{0};

    bool contain(const void* address) const {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
        for (std::size_t i = 0; i < count; ++i) {
            if (at >= ranges[i].start && at < ranges[i].end)
                return true;
        }
        return false;
    }

    void addCodeOf(const dl_phdr_info& info) {
        for (ElfW(Half) i = 0; i < info.dlpi_phnum; ++i) {
            const ElfW(Phdr)& segment = info.dlpi_phdr[i];
            if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X) ||
                count == sizeof ranges / sizeof ranges[0])
                continue;
            const std::uintptr_t start = info.dlpi_addr + segment.p_vaddr;
            ranges[count++] = CodeRange{start, start + segment.p_memsz};
        }
    }
};

// The code whose frees are searched; none watched means every caller's.
CodeRanges gWatched;

// The C and C++ runtimes, and the sanitizers' in a sanitized build: a block
// they free is freed for the code that called them.
CodeRanges gRuntimes;
const char* const runtimeLibraries[] = {"libc.so", "libstdc++.so", "libgcc_s.so", "libasan.so",
                                        "libubsan.so"};

// A stack walk that stops at the first frame outside the runtimes after one
// inside them. The unwinder does not allocate; a walk at arm time binds its
// symbols before any free is searched.
struct CallerSearch {
    const void* found = nullptr;
    bool passedRuntimes = false;
    int framesLeft = 64;
};

_Unwind_Reason_Code visitFrame(_Unwind_Context* context, void* state) {
    CallerSearch& search = *static_cast<CallerSearch*>(state);
    const void* at = reinterpret_cast<const void*>(_Unwind_GetIP(context));
    if (gRuntimes.contain(at)) {
        search.passedRuntimes = true;
    } else if (search.passedRuntimes) {
        search.found = at;
        return _URC_END_OF_STACK;
    }
    return --search.framesLeft > 0 ? _URC_NO_REASON : _URC_END_OF_STACK;
}

const void* firstCallerOutsideRuntimes() {
    CallerSearch search;
    _Unwind_Backtrace(&visitFrame, &search);
    return search.found;
}

// The code a free is charged to: the direct caller of operator delete, or,
// when that is runtime code (a string growing in libstdc++), the code that
// called the runtime.
const void* chargedCaller(const void* caller) {
    return gRuntimes.contain(caller) ? firstCallerOutsideRuntimes() : caller;
}

bool isWatchedCaller(const void* caller) {
    return gWatched.count == 0 || gWatched.contain(chargedCaller(caller));
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

// Disarms when the step ends, whichever way, and forgets the code ranges.
struct Disarm {
    ~Disarm() {
        gArmed = false;
        gWatched.count = 0;
        gRuntimes.count = 0;
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

// Records the code of the loaded object whose file is `path`.
int watchCodeOf(dl_phdr_info* info, std::size_t, void* path) {
    char loaded[PATH_MAX];
    if (!info->dlpi_name || !realpath(info->dlpi_name, loaded) ||
        std::strcmp(loaded, static_cast<const char*>(path)) != 0)
        return 0;
    gWatched.addCodeOf(*info);
    return 1;
}

bool isRuntimeLibrary(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    for (const char* runtime : runtimeLibraries) {
        if (std::strncmp(name, runtime, std::strlen(runtime)) == 0)
            return true;
    }
    return false;
}

int recordRuntimeCode(dl_phdr_info* info, std::size_t, void*) {
    if (info->dlpi_name && isRuntimeLibrary(info->dlpi_name))
        gRuntimes.addCodeOf(*info);
    return 0;
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
    dl_iterate_phdr(&watchCodeOf, path);
    if (gWatched.count == 0)
        throw std::invalid_argument(library + " is not loaded");
    dl_iterate_phdr(&recordRuntimeCode, nullptr);
    firstCallerOutsideRuntimes();
    return scanWhile(sought, step);
}

int blocksAllocated(const std::function<void()>& step) {
    gAllocated = 0;
    gCounting = true;
    const StopCounting stop;
    step();
    return gAllocated;
}
