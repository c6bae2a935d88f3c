// The browser's allocator (NPN_MemAlloc and NPN_MemFree) with a record of
// every block still out. Safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace testbrowser {

class MemoryLedger {
public:
    MemoryLedger() = default;
    MemoryLedger(const MemoryLedger&) = delete;
    MemoryLedger& operator=(const MemoryLedger&) = delete;
    ~MemoryLedger();

    void* allocate(uint32_t size);
    // NULL is accepted; a pointer that is not an open block is counted and left alone.
    void free(void* block);

    size_t openBlocks() const;
    size_t openBytes() const;
    size_t badFrees() const;
    size_t allocations() const;
    bool owns(const void* block) const;

private:
    mutable std::mutex m_mutex;
    std::map<void*, size_t> m_blocks;
    size_t m_badFrees = 0;
    size_t m_allocations = 0;
};

} // namespace testbrowser
