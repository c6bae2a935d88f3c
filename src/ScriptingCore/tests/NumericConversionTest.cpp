#include "ConversionCase.h"
#include "TestObjects.h"
#include "variant.h"

#include <boost/make_shared.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <utf8.h>
#include <vector>

namespace {

using FB::variant;

template <typename T> using NumberCase = ConversionCase<T>;

constexpr double infinity = std::numeric_limits<double>::infinity();
const double nan = std::nan("");
const float nanf = std::nanf("");

// Values that are no number in any form.
template <typename T> std::vector<NumberCase<T>> withNonNumbers(std::vector<NumberCase<T>> cases) {
    const std::vector<NumberCase<T>> nonNumbers = {
        {"NoValue", variant(), refused},
        {"EmptyTag", variant(FB::variant_detail::empty()), refused},
        {"NullTag", variant(FB::variant_detail::null()), refused},
        {"List", variant(FB::VariantList{variant(1)}), refused},
        {"Map", variant(FB::VariantMap{{"a", variant(1)}}), refused},
        {"ScriptObject", variant(boost::make_shared<StubScriptObject>()), refused},
        {"PageObject", variant(boost::make_shared<StubPageObject>()), refused},
        {"LongDouble", variant(1.0L), refused},
        {"SignedChar", variant(static_cast<signed char>(1)), refused},
    };
    cases.insert(cases.end(), nonNumbers.begin(), nonNumbers.end());
    return cases;
}

using CharConversion = ::testing::TestWithParam<NumberCase<char>>;
TEST_P(CharConversion, FollowsTheTable) {
    checkConversion(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Table, CharConversion,
                         ::testing::ValuesIn(withNonNumbers<char>({
                             {"Exact", variant('x'), 'x'},
                             {"Int127", variant(127), 127},
                             {"IntMinus128", variant(-128), -128},
                             {"Int300", variant(300), refused},
                             {"IntMinus129", variant(-129), refused},
                             {"UnsignedChar200", variant(static_cast<unsigned char>(200)), refused},
                             {"IntCode53IsTheDigit5", variant(53), '5'},
                             {"Text53IsTheDigit5", variant("53"), '5'},
                             {"Text65IsTheDigit6", variant("65"), '6'},
                             {"Double127_9", variant(127.9), 127},
                             {"Double128", variant(128.0), refused},
                             {"DoubleMinus128_9", variant(-128.9), -128},
                             {"DoubleMinus129", variant(-129.0), refused},
                             {"Float127_9", variant(127.9f), 127},
                             {"FloatMinus129", variant(-129.0f), refused},
                             {"Infinity", variant(infinity), refused},
                             {"NaN", variant(nan), refused},
                             {"True", variant(true), '\x01'},
                             {"False", variant(false), '\0'},
                             {"LeadingBlanksAndTrailingText", variant("  42;"), '4'},
                             {"TextWithInnerBlank", variant("12 34"), '1'},
                             {"Letters", variant("abc"), 'a'},
                             {"EmptyText", variant(""), refused},
                             {"BlanksOnly", variant("  "), refused},
                             {"WideDigits", variant(L"12"), '1'},
                             {"WideEAcuteGivesFirstUtf8Byte", variant(L"\u00e9"),
                              static_cast<char>(0xC3)},
                         })),
                         caseName<char>);

using IntConversion = ::testing::TestWithParam<NumberCase<int>>;
TEST_P(IntConversion, FollowsTheTable) {
    checkConversion(GetParam());
}
INSTANTIATE_TEST_SUITE_P(
    Table, IntConversion,
    ::testing::ValuesIn(withNonNumbers<int>({
        {"Exact", variant(-7), -7},
        {"Char", variant('5'), 53},
        {"Short", variant(static_cast<short>(-300)), -300},
        {"UnsignedChar200", variant(static_cast<unsigned char>(200)), 200},
        {"LongMin", variant(-2147483648L), -2147483647 - 1},
        {"UnsignedLong5", variant(5UL), 5},
        {"UnsignedShortMax", variant(static_cast<unsigned short>(65535)), 65535},
        {"UnsignedInt2Pow31Minus1", variant(2147483647u), 2147483647},
        {"UnsignedInt2Pow31", variant(2147483648u), refused},
        {"Long2Pow40", variant(1L << 40), refused},
        {"LongLongMinus1", variant(-1LL), -1},
        {"UnsignedLongLongMax", variant(std::numeric_limits<unsigned long long>::max()), refused},
        {"Double2147483647_9", variant(2147483647.9), 2147483647},
        {"Double2147483648", variant(2147483648.0), refused},
        {"DoubleMinus2147483648_5", variant(-2147483648.5), std::numeric_limits<int>::min()},
        {"DoubleMinus2147483649", variant(-2147483649.0), refused},
        {"FloatMinus2147483648", variant(-2147483648.0f), refused},
        {"Float2147483520", variant(2147483520.0f), 2147483520},
        {"Double1e300", variant(1e300), refused},
        {"PlusInfinity", variant(infinity), refused},
        {"MinusInfinity", variant(-infinity), refused},
        {"DoubleNaN", variant(nan), refused},
        {"FloatNaN", variant(nanf), refused},
        {"True", variant(true), 1},
        {"False", variant(false), 0},
        {"LeadingBlanksAndTrailingText", variant("  42;"), 42},
        {"TextWithInnerBlank", variant("12 34"), 12},
        {"NegativeText", variant("-17"), -17},
        {"TextWithFraction", variant("3.9"), 3},
        {"TextWithExponent", variant("1e3"), 1},
        {"ElevenNines", variant("99999999999"), refused},
        {"EmptyText", variant(""), refused},
        {"BlanksOnly", variant("  "), refused},
        {"Letters", variant("abc"), refused},
        {"WideDigits", variant(L"12"), 12},
        {"WideLetters", variant(L"abc"), refused},
    })),
    caseName<int>);

using UnsignedIntConversion = ::testing::TestWithParam<NumberCase<unsigned int>>;
TEST_P(UnsignedIntConversion, FollowsTheTable) {
    checkConversion(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Table, UnsignedIntConversion,
                         ::testing::ValuesIn(withNonNumbers<unsigned int>({
                             {"Exact", variant(4294967295u), 4294967295u},
                             {"IntMinus1", variant(-1), refused},
                             {"Long2Pow32", variant(1L << 32), refused},
                             {"DoubleMinus0_5", variant(-0.5), 0u},
                             {"DoubleMinus1", variant(-1.0), refused},
                             {"Double4294967295_9", variant(4294967295.9), 4294967295u},
                             {"Double2Pow32", variant(4294967296.0), refused},
                             {"NaN", variant(nan), refused},
                             {"True", variant(true), 1u},
                             {"TextMax", variant("4294967295"), 4294967295u},
                             {"Text2Pow32", variant("4294967296"), refused},
                             {"LeadingBlanksAndTrailingText", variant("  42;"), 42u},
                             {"TextWithInnerBlank", variant("12 34"), 12u},
                             {"PlusSign", variant("+7"), 7u},
                             {"TextMinus1", variant("-1"), refused},
                             {"BlanksThenMinus", variant("  -5"), refused},
                             {"MinusZero", variant("-0"), refused},
                             {"ElevenNines", variant("99999999999"), refused},
                             {"EmptyText", variant(""), refused},
                             {"WideDigits", variant(L"12"), 12u},
                             {"WideMinus1", variant(L"-1"), refused},
                         })),
                         caseName<unsigned int>);

using LongConversion = ::testing::TestWithParam<NumberCase<long>>;
TEST_P(LongConversion, FollowsTheTable) {
    checkConversion(GetParam());
}
INSTANTIATE_TEST_SUITE_P(
    Table, LongConversion,
    ::testing::ValuesIn(withNonNumbers<long>({
        {"Exact", variant(-5L), -5L},
        {"LongLongMin", variant(std::numeric_limits<long long>::min()),
         std::numeric_limits<long>::min()},
        {"UnsignedLong2Pow63", variant(1UL << 63), refused},
        {"UnsignedLongLongMax", variant(std::numeric_limits<unsigned long long>::max()), refused},
        {"Double2Pow62", variant(4611686018427387904.0), 4611686018427387904L},
        {"Double2Pow63", variant(9223372036854775808.0), refused},
        {"DoubleMinus2Pow63", variant(-9223372036854775808.0), refused},
        {"Double1e300", variant(1e300), refused},
        {"PlusInfinity", variant(infinity), refused},
        {"MinusInfinity", variant(-infinity), refused},
        {"NaN", variant(nan), refused},
        {"True", variant(true), 1L},
        {"ElevenNines", variant("99999999999"), 99999999999L},
        {"TextMin", variant("-9223372036854775808"), std::numeric_limits<long>::min()},
        {"TextAboveMax", variant("9223372036854775808"), refused},
        {"LeadingBlanksAndTrailingText", variant("  42;"), 42L},
        {"TextWithInnerBlank", variant("12 34"), 12L},
        {"EmptyText", variant(""), refused},
        {"Letters", variant("abc"), refused},
        {"WideDigits", variant(L"12"), 12L},
    })),
    caseName<long>);

using DoubleConversion = ::testing::TestWithParam<NumberCase<double>>;
TEST_P(DoubleConversion, FollowsTheTable) {
    checkConversion(GetParam());
}
INSTANTIATE_TEST_SUITE_P(
    Table, DoubleConversion,
    ::testing::ValuesIn(withNonNumbers<double>({
        {"Exact", variant(0.1), 0.1},
        {"Int", variant(-5), -5.0},
        {"Long2Pow53", variant(1L << 53), 9007199254740992.0},
        {"UnsignedLongLongMaxRoundsTo2Pow64",
         variant(std::numeric_limits<unsigned long long>::max()), 18446744073709551616.0},
        {"FloatWidensExactly", variant(0.1f), static_cast<double>(0.1f)},
        {"PlusInfinity", variant(infinity), infinity},
        {"FloatMinusInfinity", variant(-std::numeric_limits<float>::infinity()), -infinity},
        {"True", variant(true), 1.0},
        {"False", variant(false), 0.0},
        {"LeadingBlanksAndTrailingText", variant("  42;"), 42.0},
        {"TextWithInnerBlank", variant("12 34"), 12.0},
        {"TextWithFraction", variant("3.9"), 3.9},
        {"TextWithExponent", variant("1e3"), 1000.0},
        {"TextBeyondRange", variant("1e400"), refused},
        {"EmptyText", variant(""), refused},
        {"BlanksOnly", variant("  "), refused},
        {"Letters", variant("abc"), refused},
        {"WideText", variant(L"2.5"), 2.5},
    })),
    caseName<double>);

TEST(NumericConversion, NaNStaysNaNForFloatingTargets) {
    EXPECT_TRUE(std::isnan(variant(nan).convert_cast<double>()));
    EXPECT_TRUE(std::isnan(variant(nanf).convert_cast<double>()));
    EXPECT_TRUE(std::isnan(variant(nan).convert_cast<float>()));
}

TEST(NumericConversion, UnencodableWideTextFailsWithTheUtf8Error) {
    const variant surrogate(std::wstring(1, static_cast<wchar_t>(0xD800)));
    EXPECT_THROW(surrogate.convert_cast<int>(), utf8::invalid_code_point);
}

TEST(NumericConversion, CanBeTypeReportsWhetherTheReadSucceeds) {
    EXPECT_TRUE(variant("12").can_be_type<int>());
    EXPECT_FALSE(variant("abc").can_be_type<int>());
    EXPECT_FALSE(variant().can_be_type<long>());
}

} // namespace
