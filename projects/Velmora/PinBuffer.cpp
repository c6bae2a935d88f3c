#include "PinBuffer.h"

#include <algorithm>
#include <cstring>
#include <string.h>

namespace {

// Room for any PIN a token takes, so typing never moves the PIN.
const std::size_t initialCapacity = 64;

} // namespace

PinBuffer::PinBuffer()
    : m_bytes(new char[initialCapacity]), m_capacity(initialCapacity), m_length(0) {}

PinBuffer::~PinBuffer() {
    explicit_bzero(m_bytes.get(), m_capacity);
}

void PinBuffer::append(char c) {
    if (m_length == m_capacity) {
        reserve(m_capacity * 2);
    }
    m_bytes[m_length++] = c;
}

void PinBuffer::removeLast() {
    if (m_length == 0) {
        return;
    }
    --m_length;
    explicit_bzero(m_bytes.get() + m_length, 1);
}

void PinBuffer::assign(const std::string& text) {
    clear();
    if (text.size() > m_capacity) {
        reserve(text.size());
    }
    std::memcpy(m_bytes.get(), text.data(), text.size());
    m_length = text.size();
}

void PinBuffer::clear() {
    explicit_bzero(m_bytes.get(), m_length);
    m_length = 0;
}

void PinBuffer::reserve(std::size_t capacity) {
    std::unique_ptr<char[]> bytes(new char[capacity]);
    std::memcpy(bytes.get(), m_bytes.get(), m_length);
    explicit_bzero(m_bytes.get(), m_capacity);
    m_bytes.swap(bytes);
    m_capacity = capacity;
}

void wipeText(std::string& text) {
    if (!text.empty()) {
        explicit_bzero(&text[0], text.size());
    }
    text.clear();
}
