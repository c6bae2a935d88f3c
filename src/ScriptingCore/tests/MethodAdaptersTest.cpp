#include "MethodAdapters.h"
#include "PropertyAdapters.h"
#include "variant_list.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using FB::variant;
using FB::VariantList;

// Members of every shape the adapters serve; each records how it was called.
class Target {
public:
    std::string calls;

    void noArgs() { calls += "noArgs;"; }
    std::string text() { return "t"; }
    void takeChar(char c) { calls += std::string("char ") + c + ";"; }
    std::string exclaim(const std::string& s) { return s + "!"; }
    variant echo(const variant& v) {
        calls += std::string("echo ") + v.get_type().name() + ";";
        return v;
    }
    variant attribute(const std::string& name) { return name; }
    std::string join(const std::string& a, const std::string& b) { return a + "+" + b; }
    void setPair(const std::string& name, const variant& value) {
        calls += "setPair " + name + " " + value.get_type().name() + ";";
    }
    int number() { return 7; }
    long big() { return 1L << 40; }
    bool flag() { return true; }

    std::string stored = "initial";
    std::string getStored() { return stored; }
    void setStored(const std::string& value) {
        calls += "setStored;";
        stored = value;
    }
};

struct AdapterCase {
    std::string name;
    std::function<FB::MethodFunctor(Target&)> bind;
    VariantList args;
    // The result's type and text, or the refusal's message.
    const std::type_info* resultType;
    std::string expected;
    std::string calls;
};

void PrintTo(const AdapterCase& c, std::ostream* os) {
    *os << c.name;
}

const std::type_info* const refused = nullptr;
const variant null = FB::variant_detail::null();
const std::string conversionFromNull = std::string("Invalid argument conversion from ") +
                                       typeid(FB::variant_detail::null).name() + " to " +
                                       typeid(std::string).name();

template <typename F> std::function<FB::MethodFunctor(Target&)> bound(F member) {
    return [member](Target& t) { return FB::make_method(&t, member); };
}

class Adapter : public ::testing::TestWithParam<AdapterCase> {};

TEST_P(Adapter, CountsConvertsAndCallsOrRefusesBeforeTheMemberRuns) {
    const AdapterCase& c = GetParam();
    Target target;
    const FB::MethodFunctor method = c.bind(target);
    if (c.resultType == refused) {
        try {
            method(c.args);
            ADD_FAILURE() << "the call was accepted";
        } catch (const FB::invalid_arguments& e) {
            EXPECT_EQ(e.what(), c.expected);
        }
    } else {
        const variant result = method(c.args);
        EXPECT_EQ(result.get_type(), *c.resultType);
        if (!c.expected.empty()) {
            EXPECT_EQ(result.convert_cast<std::string>(), c.expected);
        }
    }
    EXPECT_EQ(target.calls, c.calls);
}

const std::string voidName = typeid(void).name();

INSTANTIATE_TEST_SUITE_P(
    Signatures, Adapter,
    ::testing::Values(
        AdapterCase{"void_none", bound(&Target::noArgs), {}, &typeid(void), "", "noArgs;"},
        AdapterCase{"void_surplusIgnored", bound(&Target::noArgs), FB::variant_list_of(1)(2)(3),
                    &typeid(void), "", "noArgs;"},
        AdapterCase{"string_none", bound(&Target::text), {}, &typeid(std::string), "t", ""},
        AdapterCase{"char_oneCharacter", bound(&Target::takeChar), FB::variant_list_of("x"),
                    &typeid(void), "", "char x;"},
        AdapterCase{"char_missing",
                    bound(&Target::takeChar),
                    {},
                    refused,
                    "Error: Argument 1is not optional.",
                    ""},
        AdapterCase{"char_surplusBeforeConversion", bound(&Target::takeChar),
                    FB::variant_list_of(variant())("y"), refused, "Too many arguments, expected 1.",
                    ""},
        AdapterCase{"char_unconvertible", bound(&Target::takeChar), FB::variant_list_of(variant()),
                    refused, "Invalid argument conversion from v to c at index 1", ""},
        AdapterCase{"string_fromNumber", bound(&Target::exclaim), FB::variant_list_of(5),
                    &typeid(std::string), "5!", ""},
        AdapterCase{"string_fromNull", bound(&Target::exclaim), FB::variant_list_of(null), refused,
                    conversionFromNull + " at index 1", ""},
        AdapterCase{"variant_missingArrivesEmpty",
                    bound(&Target::echo),
                    {},
                    &typeid(void),
                    "",
                    "echo " + voidName + ";"},
        AdapterCase{"variant_nullPassedThrough", bound(&Target::echo), FB::variant_list_of(null),
                    &typeid(FB::variant_detail::null), "",
                    std::string("echo ") + typeid(FB::variant_detail::null).name() + ";"},
        AdapterCase{"variant_surplus", bound(&Target::echo), FB::variant_list_of(1)(2), refused,
                    "Too many arguments, expected 1.", ""},
        AdapterCase{"variantResult_stringParameter", bound(&Target::attribute),
                    FB::variant_list_of("a"), &typeid(std::string), "a", ""},
        AdapterCase{"twoStrings", bound(&Target::join), FB::variant_list_of("a")(2),
                    &typeid(std::string), "a+2", ""},
        AdapterCase{"twoStrings_secondMissing", bound(&Target::join), FB::variant_list_of("a"),
                    refused, "Error: Argument 2is not optional.", ""},
        AdapterCase{"twoStrings_bothMissing",
                    bound(&Target::join),
                    {},
                    refused,
                    "Error: Argument 1is not optional.",
                    ""},
        AdapterCase{"twoStrings_secondUnconvertible", bound(&Target::join),
                    FB::variant_list_of("a")(null), refused, conversionFromNull + " at index 2",
                    ""},
        AdapterCase{"stringAndVariant_valueMissing", bound(&Target::setPair),
                    FB::variant_list_of("n"), &typeid(void), "", "setPair n " + voidName + ";"},
        AdapterCase{"int_keepsType", bound(&Target::number), {}, &typeid(int), "7", ""},
        AdapterCase{"long_keepsType", bound(&Target::big), {}, &typeid(long), "1099511627776", ""},
        AdapterCase{"bool_keepsType", bound(&Target::flag), {}, &typeid(bool), "true", ""}),
    [](const ::testing::TestParamInfo<AdapterCase>& info) { return info.param.name; });

// With two parameters the first argument is converted before the count is
// checked, and a surplus is refused before the second is converted.
TEST(Adapter, TwoParametersConvertTheFirstBeforeCountingAndNeverTheSecondOfASurplus) {
    Target target;
    const FB::MethodFunctor join = FB::make_method(&target, &Target::join);
    try {
        join(FB::variant_list_of(null)("b")("c"));
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_EQ(e.what(), conversionFromNull + " at index 1");
    }
    try {
        join(FB::variant_list_of("a")(null)("c"));
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_STREQ(e.what(), "Too many arguments, expected 2.");
    }
}

class Named {
public:
    virtual ~Named() = default;
    virtual std::string name() { return "base"; }
};

class Renamed : public Named {
public:
    std::string name() override { return "derived"; }
};

TEST(Adapter, AVirtualMemberRunsTheMostDerivedOverride) {
    Renamed object;
    EXPECT_EQ(FB::make_method(&object, &Named::name)({}).cast<std::string>(), "derived");
    EXPECT_EQ(FB::make_property(&object, &Named::name).getter().cast<std::string>(), "derived");
}

TEST(PropertyAdapter, AGetterOnlyPropertyIgnoresWrites) {
    Target target;
    const FB::PropertyFunctors version = FB::make_property(&target, &Target::getStored);
    version.setter(variant("changed"));
    version.setter(null);
    EXPECT_EQ(version.getter().cast<std::string>(), "initial");
    EXPECT_EQ(target.calls, "");
}

TEST(PropertyAdapter, TheSetterReceivesTheConvertedValueOrIsNotCalled) {
    Target target;
    const FB::PropertyFunctors stored =
        FB::make_property(&target, &Target::getStored, &Target::setStored);
    stored.setter(variant(5));
    EXPECT_EQ(stored.getter().cast<std::string>(), "5");
    target.calls.clear();
    try {
        stored.setter(null);
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_EQ(e.what(), conversionFromNull);
    }
    EXPECT_EQ(target.calls, "");
    EXPECT_EQ(target.stored, "5");
}

TEST(PropertyAdapter, GetterResultsKeepTheirType) {
    Target target;
    EXPECT_TRUE(FB::make_property(&target, &Target::number).getter().is_of_type<int>());
    EXPECT_TRUE(FB::make_property(&target, &Target::big).getter().is_of_type<long>());
    EXPECT_TRUE(FB::make_property(&target, &Target::flag).getter().is_of_type<bool>());
    EXPECT_TRUE(FB::make_property(&target, &Target::text).getter().is_of_type<std::string>());
}

} // namespace
