#include "utf8_tools.h"

#include <gtest/gtest.h>
#include <string>
#include <utf8.h>

namespace {

TEST(Utf8Tools, EmptyTextStaysEmpty) {
    EXPECT_EQ(FB::wstring_to_utf8(L""), "");
    EXPECT_EQ(FB::utf8_to_wstring(""), L"");
    EXPECT_EQ(FB::wstring_tolower(L""), L"");
}

TEST(Utf8Tools, RoundTripsEveryEncodedLength) {
    struct Case {
        std::wstring wide;
        std::string utf8;
    };
    const Case cases[] = {
        {L"a", "a"},
        {L"\u00e9", "\xC3\xA9"},
        {L"\u20ac", "\xE2\x82\xAC"},
        {std::wstring(1, static_cast<wchar_t>(0x1F600)), "\xF0\x9F\x98\x80"},
        {std::wstring(1, static_cast<wchar_t>(0x10FFFF)), "\xF4\x8F\xBF\xBF"},
        {std::wstring(L"x\0y", 3), std::string("x\0y", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(FB::wstring_to_utf8(c.wide), c.utf8);
        EXPECT_EQ(FB::utf8_to_wstring(c.utf8), c.wide);
    }
}

TEST(Utf8Tools, InvalidWideCodePointsRaiseInvalidCodePoint) {
    const wchar_t invalid[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF),
                               static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)};
    for (const wchar_t c : invalid) {
        SCOPED_TRACE(static_cast<long>(c));
        EXPECT_THROW(FB::wstring_to_utf8(std::wstring(L"ok") + c), utf8::invalid_code_point);
    }
}

TEST(Utf8Tools, MalformedUtf8RaisesTheLibrarysExceptions) {
    EXPECT_THROW(FB::utf8_to_wstring("\xC3\x28"), utf8::invalid_utf8);
    EXPECT_THROW(FB::utf8_to_wstring("\xC0\xAF"), utf8::invalid_utf8);
    EXPECT_THROW(FB::utf8_to_wstring("\xFF"), utf8::invalid_utf8);
    EXPECT_THROW(FB::utf8_to_wstring("ab\xC3"), utf8::not_enough_room);
    EXPECT_THROW(FB::utf8_to_wstring("\xED\xA0\x80"), utf8::invalid_code_point);
}

TEST(Utf8Tools, ExceptionTextsAreTheLibrarys) {
    const auto textOf = [](auto convert) {
        try {
            convert();
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(textOf([] { FB::wstring_to_utf8(std::wstring(1, static_cast<wchar_t>(0xD800))); }),
              "Invalid code point");
    EXPECT_EQ(textOf([] { FB::utf8_to_wstring("\xC3\x28"); }), "Invalid UTF-8");
    EXPECT_EQ(textOf([] { FB::utf8_to_wstring("\xC3"); }), "Not enough space");
}

TEST(Utf8Tools, ToLowerLowersTheCase) {
    EXPECT_EQ(FB::wstring_tolower(L"aBz"), L"abz");
    EXPECT_EQ(FB::wstring_tolower(L"MIXED case 42"), L"mixed case 42");
}

} // namespace
