#pragma once

// PinBuffer: the PIN a page types, kept where it leaves no copies behind.
// The characters live in one heap block that adding characters does not
// move; a longer PIN than the block holds moves to a larger block after the
// old one is wiped. Every byte given up is wiped with a store the compiler
// cannot drop: a removed character, the old PIN when it is replaced or
// cleared, and the whole block when the buffer goes.

#include <cstddef>
#include <memory>
#include <string>

class PinBuffer {
public:
    PinBuffer();
    ~PinBuffer();
    PinBuffer(const PinBuffer&) = delete;
    PinBuffer& operator=(const PinBuffer&) = delete;

    void append(char c);
    // Removes the last character; nothing happens when the PIN is empty.
    void removeLast();
    // Wipes the PIN and takes the text's bytes in its place.
    void assign(const std::string& text);
    // Wipes the PIN and leaves it empty.
    void clear();

    std::size_t size() const { return m_length; }
    bool empty() const { return m_length == 0; }
    const char* data() const { return m_bytes.get(); }

private:
    // Makes room for `capacity` bytes, wiping the block it leaves.
    void reserve(std::size_t capacity);

    std::unique_ptr<char[]> m_bytes;
    std::size_t m_capacity;
    std::size_t m_length;
};

// Overwrites the text's bytes with a store the compiler cannot drop, then
// empties it; the string keeps its block, so nothing of the text survives.
void wipeText(std::string& text);

// Wipes a string that holds a PIN when it goes out of scope, whichever way
// the scope is left.
class ScopedTextWipe {
public:
    explicit ScopedTextWipe(std::string& text) : m_text(text) {}
    ~ScopedTextWipe() { wipeText(m_text); }
    ScopedTextWipe(const ScopedTextWipe&) = delete;
    ScopedTextWipe& operator=(const ScopedTextWipe&) = delete;

private:
    std::string& m_text;
};
