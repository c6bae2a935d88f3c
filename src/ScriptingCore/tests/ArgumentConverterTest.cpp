#include "ArgumentConverter.h"

#include <gtest/gtest.h>
#include <string>
#include <typeinfo>
#include <utf8.h>

namespace {

using FB::variant;
using FB::detail::converter;

std::string conversionText(const std::type_info& held, const std::type_info& requested) {
    return std::string("Invalid argument conversion from ") + held.name() + " to " +
           requested.name();
}

template <typename Convert> std::string refusal(const Convert& convert) {
    try {
        convert();
    } catch (const FB::invalid_arguments& e) {
        return e.what();
    }
    ADD_FAILURE() << "the conversion was accepted";
    return "";
}

TEST(ArgumentConverter, ConvertibleValuesArriveAsTheParameterType) {
    EXPECT_EQ((converter<std::string, variant>::convert(variant("text"), 1)), "text");
    EXPECT_EQ((converter<std::string, variant>::convert(variant(42), 1)), "42");
    EXPECT_EQ((converter<std::string, variant>::convert(variant(2.5))), "2.5");
    EXPECT_EQ((converter<char, variant>::convert(variant("x"), 1)), 'x');
}

TEST(ArgumentConverter, RefusalNamesBothTypesAndThePositionOfACallArgument) {
    const variant null = FB::variant_detail::null();
    EXPECT_EQ(refusal([&] { converter<std::string, variant>::convert(null, 2); }),
              conversionText(typeid(FB::variant_detail::null), typeid(std::string)) +
                  " at index 2");
    EXPECT_EQ(refusal([] { converter<char, variant>::convert(variant(), 1); }),
              "Invalid argument conversion from v to c at index 1");
}

TEST(ArgumentConverter, RefusalOfAPropertyValueHasNoPosition) {
    const variant undefined = FB::variant_detail::empty();
    EXPECT_EQ(refusal([&] { converter<std::string, variant>::convert(undefined); }),
              conversionText(typeid(FB::variant_detail::empty), typeid(std::string)));
}

TEST(ArgumentConverter, FailuresOtherThanACastPassUnchanged) {
    const variant unencodable = std::wstring(1, static_cast<wchar_t>(0xD800));
    EXPECT_THROW((converter<std::string, variant>::convert(unencodable, 1)),
                 utf8::invalid_code_point);
}

TEST(ArgumentConverter, VariantParametersReceiveAnIdenticalCopy) {
    const variant values[] = {variant(), variant(FB::variant_detail::empty()),
                              variant(FB::variant_detail::null()), variant("text"), variant(3)};
    for (const variant& value : values) {
        const variant copy = converter<variant, variant>::convert(value, 4);
        EXPECT_EQ(copy.get_type(), value.get_type());
        EXPECT_FALSE(copy < value || value < copy);
    }
}

} // namespace
