#pragma once

// Table rows for the converting reads of FB::variant.

#include "variant.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <typeinfo>

// The value read, and what it gives as a T, or nothing when the read is
// refused.
template <typename T> struct ConversionCase {
    std::string name;
    FB::variant input;
    std::optional<T> expected;
};

constexpr std::nullopt_t refused = std::nullopt;

template <typename T> void PrintTo(const ConversionCase<T>& c, std::ostream* os) {
    *os << c.name;
}

template <typename T>
std::string caseName(const ::testing::TestParamInfo<ConversionCase<T>>& info) {
    return info.param.name;
}

// A refusal names the held type and the type whose read refused it.
template <typename T>
void checkConversion(const ConversionCase<T>& c, const std::type_info& refusingTarget = typeid(T)) {
    if (c.expected) {
        EXPECT_EQ(c.input.template convert_cast<T>(), *c.expected);
        return;
    }
    try {
        c.input.template convert_cast<T>();
        ADD_FAILURE() << "the read was accepted";
    } catch (const FB::bad_variant_cast& e) {
        EXPECT_STREQ(e.from, c.input.get_type().name());
        EXPECT_STREQ(e.to, refusingTarget.name());
    }
}
