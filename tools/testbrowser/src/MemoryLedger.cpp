#include <testbrowser/MemoryLedger.h>

#include <cstdlib>

namespace testbrowser {

MemoryLedger::~MemoryLedger() {
    // Blocks the module never gave back are freed with the browser.
    for (auto& block : m_blocks)
        std::free(block.first);
}

void* MemoryLedger::allocate(uint32_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocks[block] = size;
    ++m_allocations;
    return block;
}

void MemoryLedger::free(void* block) {
    if (!block)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_blocks.find(block);
        if (found == m_blocks.end()) {
            ++m_badFrees;
            return;
        }
        m_blocks.erase(found);
    }
    std::free(block);
}

size_t MemoryLedger::openBlocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

size_t MemoryLedger::openBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t bytes = 0;
    for (const auto& block : m_blocks)
        bytes += block.second;
    return bytes;
}

size_t MemoryLedger::badFrees() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_badFrees;
}

size_t MemoryLedger::allocations() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allocations;
}

bool MemoryLedger::owns(const void* block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.count(const_cast<void*>(block)) != 0;
}

} // namespace testbrowser
