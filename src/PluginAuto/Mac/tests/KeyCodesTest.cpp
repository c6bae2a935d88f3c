// macOS virtual key codes to the framework's key codes.

#include "KeyCodesCocoa.h"

#include <gtest/gtest.h>

#include <map>

TEST(CocoaKeyCodes, EveryKeyOfTheTableHasItsCode) {
    const std::map<unsigned long, int> table = {
        {36, 52},  {48, 60},  {49, 58},  {51, 7},   {53, 9},   {55, 73},  {56, 56},  {57, 3},
        {58, 74},  {59, 5},   {60, 75},  {61, 76},  {62, 77},  {63, 78},  {96, 28},  {97, 29},
        {98, 30},  {99, 26},  {100, 31}, {101, 32}, {103, 13}, {105, 15}, {107, 16}, {109, 12},
        {111, 14}, {113, 17}, {114, 33}, {115, 70}, {116, 50}, {117, 79}, {118, 27}, {119, 69},
        {120, 22}, {121, 49}, {122, 11}, {123, 80}, {124, 81}, {125, 82}, {126, 83}};
    ASSERT_EQ(table.size(), 39u);
    for (const auto& [macCode, fbCode] : table) {
        EXPECT_EQ(FB::CocoaKeyCodeToFBKeyCode(macCode), fbCode) << "macOS key " << macCode;
    }
}

TEST(CocoaKeyCodes, EveryOtherKeyIsUnknown) {
    // Letters, digits, punctuation, the keypad, the gaps of the table and
    // codes beyond any keyboard.
    for (unsigned long macCode : {0ul, 18ul, 35ul, 47ul, 50ul, 52ul, 54ul, 64ul, 65ul, 82ul, 95ul,
                                  102ul, 104ul, 106ul, 108ul, 110ul, 112ul, 127ul, 65535ul}) {
        EXPECT_EQ(FB::CocoaKeyCodeToFBKeyCode(macCode), 84) << "macOS key " << macCode;
    }
}
