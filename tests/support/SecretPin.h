// A token PIN that the test process never holds as one piece of text, so
// that a search of the process's memory finds it only where the code under
// test left it. The test keeps it masked (each character shifted up by one)
// and unmasks one character at a time.
#pragma once

#include <cstddef>
#include <string>

class SoftHsmToken;

class SecretPin {
public:
    // `masked`: the PIN with every character one above the PIN's.
    explicit SecretPin(const std::string& masked) : m_masked(masked) {}

    std::size_t size() const { return m_masked.size(); }
    char at(std::size_t index) const { return static_cast<char>(m_masked[index] - 1); }

    // Makes it the token's user PIN; the token must still have its own.
    void setOn(const SoftHsmToken& token) const;
    // Whether some readable memory of this process holds the whole PIN.
    bool heldInProcessMemory() const;

private:
    // A shell word that expands to the PIN, one character per argument.
    std::string shellWord() const;
    bool matchesAt(const unsigned char* bytes) const;
    bool occursIn(const unsigned char* bytes, std::size_t length) const;

    std::string m_masked;
};
