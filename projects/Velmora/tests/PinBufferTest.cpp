// The typed PIN's buffer: what it holds, and that every byte it gives up is
// wiped where it lay.
#include "PinBuffer.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string contents(const PinBuffer& pin) {
    return std::string(pin.data(), pin.size());
}

// The bytes from `from` to `to` of the buffer's block, held or not.
std::string blockBytes(const PinBuffer& pin, std::size_t from, std::size_t to) {
    return std::string(pin.data() + from, to - from);
}

TEST(PinBuffer, AppendsRemovesAndReplaces) {
    PinBuffer pin;
    EXPECT_TRUE(pin.empty());
    pin.removeLast();
    EXPECT_EQ(pin.size(), 0u);

    for (char c : std::string("1234")) {
        pin.append(c);
    }
    pin.removeLast();
    EXPECT_EQ(contents(pin), "123");

    pin.assign("abcdef");
    EXPECT_EQ(contents(pin), "abcdef");
    pin.assign("");
    EXPECT_TRUE(pin.empty());
}

TEST(PinBuffer, TypingDoesNotMoveThePin) {
    PinBuffer pin;
    const char* block = pin.data();
    for (int i = 0; i < 64; ++i) {
        pin.append(static_cast<char>('a' + i % 26));
    }
    EXPECT_EQ(pin.data(), block);
}

TEST(PinBuffer, KeepsAPinLongerThanItsFirstBlock) {
    PinBuffer pin;
    std::string typed;
    for (int i = 0; i < 300; ++i) {
        typed += static_cast<char>('A' + i % 26);
        pin.append(typed.back());
    }
    EXPECT_EQ(contents(pin), typed);

    const std::string assigned(500, 'q');
    pin.assign(assigned);
    EXPECT_EQ(contents(pin), assigned);
}

TEST(PinBuffer, WipesARemovedCharacter) {
    PinBuffer pin;
    pin.assign("5678");
    pin.removeLast();
    EXPECT_EQ(blockBytes(pin, 0, 4), std::string("567\0", 4));
}

TEST(PinBuffer, WipesTheWholeOldPinWhenClearedOrReplaced) {
    PinBuffer pin;
    pin.assign("98765432");
    pin.clear();
    EXPECT_EQ(blockBytes(pin, 0, 8), std::string(8, '\0'));

    pin.assign("98765432");
    pin.assign("1");
    EXPECT_EQ(blockBytes(pin, 0, 8), std::string("1") + std::string(7, '\0'));
}

TEST(PinBuffer, WipesTextHandedOutAsAString) {
    std::string longText(40, 'k');
    const char* bytes = longText.data();
    { const ScopedTextWipe wipe(longText); }
    EXPECT_TRUE(longText.empty());
    EXPECT_EQ(std::string(bytes, 40), std::string(40, '\0'));
}

} // namespace
