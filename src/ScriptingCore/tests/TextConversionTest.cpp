#include "ConversionCase.h"
#include "TestObjects.h"
#include "variant.h"

#include <boost/logic/tribool.hpp>
#include <boost/make_shared.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <locale>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using FB::variant;

using StringConversion = ::testing::TestWithParam<ConversionCase<std::string>>;
TEST_P(StringConversion, FollowsTheTable) {
    checkConversion(GetParam());
}
INSTANTIATE_TEST_SUITE_P(
    Table, StringConversion,
    ::testing::ValuesIn(std::vector<ConversionCase<std::string>>{
        {"Exact", variant(std::string("a\0b", 3)), std::string("a\0b", 3)},
        {"SixSignificantDigits", variant(3.14159265), "3.14159"},
        {"PointOne", variant(0.1), "0.1"},
        {"Hundred", variant(100.0), "100"},
        {"SixDigits", variant(123456.0), "123456"},
        {"Million", variant(1000000.0), "1e+06"},
        {"SevenDigits", variant(1234567.0), "1.23457e+06"},
        {"TenThousandth", variant(0.0001), "0.0001"},
        {"HundredThousandth", variant(0.00001), "1e-05"},
        {"NegativeZero", variant(-0.0), "-0"},
        {"FloatPointOne", variant(0.1f), "0.1"},
        {"NegativeInt", variant(-42), "-42"},
        {"UnsignedIntMax", variant(4294967295u), "4294967295"},
        {"True", variant(true), "true"},
        {"False", variant(false), "false"},
        {"WideEAcute", variant(L"\u00e9"), "\xC3\xA9"},
        {"Long", variant(-9000000000L), "-9000000000"},
        {"UnsignedLong", variant(18446744073709551615UL), "18446744073709551615"},
        {"Short", variant(static_cast<short>(-12)), "-12"},
        {"UnsignedShort", variant(static_cast<unsigned short>(65535)), "65535"},
        {"CharIsTheCharacter", variant('A'), "A"},
        {"NulCharacter", variant('\0'), std::string(1, '\0')},
        {"UnsignedChar", variant(static_cast<unsigned char>('z')), "z"},
        {"LongLong", variant(-5LL), "-5"},
        {"UnsignedLongLong", variant(7ULL), "7"},
        {"NoValue", variant(), refused},
        {"EmptyTag", variant(FB::variant_detail::empty()), refused},
        {"NullTag", variant(FB::variant_detail::null()), refused},
        {"List", variant(FB::VariantList{variant(1)}), refused},
        {"Map", variant(FB::VariantMap()), refused},
        {"ScriptObject", variant(boost::make_shared<StubScriptObject>()), refused},
    }),
    caseName<std::string>);

// The boolean read refuses only through its fallback to long.
using BoolConversion = ::testing::TestWithParam<ConversionCase<bool>>;
TEST_P(BoolConversion, FollowsTheTable) {
    checkConversion(GetParam(), typeid(long));
}
INSTANTIATE_TEST_SUITE_P(Table, BoolConversion,
                         ::testing::ValuesIn(std::vector<ConversionCase<bool>>{
                             {"ExactTrue", variant(true), true},
                             {"ExactFalse", variant(false), false},
                             {"TextUpperTrue", variant("TRUE"), true},
                             {"TextYes", variant("Yes"), true},
                             {"TextT", variant("T"), true},
                             {"TextY", variant("y"), true},
                             {"Text1", variant("1"), true},
                             {"TextNo", variant("no"), false},
                             {"Text0", variant("0"), false},
                             {"Text2", variant("2"), false},
                             {"TextFalse", variant("false"), false},
                             {"EmptyText", variant(""), false},
                             {"TextYesWithBlank", variant("yes "), false},
                             {"WideY", variant(L"Y"), true},
                             {"Wide1", variant(L"1"), true},
                             {"WideYes", variant(L"YeS"), true},
                             {"WideTrue", variant(L"tRUe"), true},
                             {"WideT", variant(L"T"), true},
                             {"WideYe", variant(L"yE"), false},
                             {"WideYess", variant(L"YESS"), false},
                             {"WideTru", variant(L"TRU"), false},
                             {"WideTrueWithBlank", variant(L"true "), false},
                             {"Wide11", variant(L"11"), false},
                             {"WideEmpty", variant(L""), false},
                             {"WideNope", variant(L"nope"), false},
                             {"Int2", variant(2), true},
                             {"Int0", variant(0), false},
                             {"DoubleMinus3_7", variant(-3.7), true},
                             {"Double0_5", variant(0.5), false},
                             {"DoubleMinus0_9", variant(-0.9), false},
                             {"Double1e300", variant(1e300), refused},
                             {"NaN", variant(std::nan("")), refused},
                             {"NoValue", variant(), refused},
                             {"EmptyTag", variant(FB::variant_detail::empty()), refused},
                             {"NullTag", variant(FB::variant_detail::null()), refused},
                             {"List", variant(FB::VariantList()), refused},
                         }),
                         caseName<bool>);

TEST(TriboolConversion, StatesWithoutValueAreIndeterminate) {
    const variant unknown[] = {variant(), variant(FB::variant_detail::empty()),
                               variant(FB::variant_detail::null())};
    for (const variant& value : unknown) {
        EXPECT_TRUE(boost::logic::indeterminate(value.convert_cast<boost::logic::tribool>()));
    }
    EXPECT_TRUE(variant("yes").convert_cast<boost::logic::tribool>() == true);
    EXPECT_TRUE(variant(0).convert_cast<boost::logic::tribool>() == false);
    try {
        variant(FB::VariantList()).convert_cast<boost::logic::tribool>();
        FAIL() << "a list read as tribool";
    } catch (const FB::bad_variant_cast& e) {
        EXPECT_STREQ(e.to, typeid(long).name());
    }
}

TEST(TrivialConversion, NeverFail) {
    static_assert(std::is_void<decltype(variant().convert_cast<void>())>::value);
    static_assert(std::is_same<decltype(variant().convert_cast<FB::variant_detail::null>()),
                               FB::variant_detail::null>::value);
    static_assert(std::is_same<decltype(variant().convert_cast<FB::variant_detail::empty>()),
                               FB::variant_detail::empty>::value);
    const variant values[] = {variant(),
                              variant(FB::variant_detail::empty()),
                              variant(FB::variant_detail::null()),
                              variant("x"),
                              variant(2.5),
                              variant(FB::VariantList()),
                              variant(boost::make_shared<StubScriptObject>())};
    for (const variant& value : values) {
        const variant copy = value.convert_cast<variant>();
        EXPECT_TRUE(copy.get_type() == value.get_type());
        EXPECT_FALSE(copy < value || value < copy);
        EXPECT_NO_THROW(value.convert_cast<void>());
        EXPECT_NO_THROW(value.convert_cast<FB::variant_detail::null>());
        EXPECT_NO_THROW(value.convert_cast<FB::variant_detail::empty>());
    }
}

// A host process may set a global locale whose numbers use "," as decimal
// point and "." between groups of digits; number text is still written and
// read in the classic form.
class CommaLocale : public ::testing::Test {
protected:
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };

    void SetUp() override {
        m_previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    }
    void TearDown() override { std::locale::global(m_previous); }

private:
    std::locale m_previous;
};

TEST_F(CommaLocale, NumberTextKeepsTheClassicForm) {
    std::ostringstream probe;
    probe << 1234.5;
    ASSERT_EQ(probe.str(), "1.234,5") << "the locale is in force";

    EXPECT_EQ(variant(1234.5).convert_cast<std::string>(), "1234.5");
    EXPECT_EQ(variant(1234567.0).convert_cast<std::string>(), "1.23457e+06");
    EXPECT_EQ(variant(0.25f).convert_cast<std::string>(), "0.25");
    EXPECT_EQ(variant(1234567).convert_cast<std::string>(), "1234567");
    EXPECT_EQ(variant(4000000000u).convert_cast<std::string>(), "4000000000");
    EXPECT_EQ(variant(-9000000000L).convert_cast<std::string>(), "-9000000000");

    EXPECT_EQ(variant("1234.5").convert_cast<double>(), 1234.5);
    EXPECT_EQ(variant("1,5").convert_cast<double>(), 1.0);
    EXPECT_EQ(variant("1.234").convert_cast<int>(), 1);
    EXPECT_EQ(variant("1234567").convert_cast<long>(), 1234567L);
    EXPECT_EQ(variant(L"2.5").convert_cast<double>(), 2.5);
}

} // namespace
