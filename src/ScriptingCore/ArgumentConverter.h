#pragma once

// FB::detail::converter: the single step through which a script value becomes
// the declared type of a native parameter. A refused read becomes
// FB::invalid_arguments naming the held and the requested type and, for a
// call argument, its position counted from 1. Other exceptions of the read
// pass through unchanged.

#include "JSExceptions.h"
#include "variant.h"

#include <cstddef>
#include <string>
#include <type_traits>

namespace FB {
namespace detail {

// The type a parameter is converted to: a const reference parameter is
// converted as its plain type.
template <typename Parameter>
using argument_t = std::remove_cv_t<std::remove_reference_t<Parameter>>;

// "Invalid argument conversion from <held> to <requested>"
inline std::string invalidConversionText(const bad_variant_cast& error) {
    return std::string("Invalid argument conversion ") + "from " + error.from + " to " + error.to;
}

template <typename T, typename From> struct converter;

template <typename T> struct converter<T, variant> {
    // For a call argument at the given position.
    static T convert(const variant& value, std::size_t position) {
        try {
            return value.convert_cast<T>();
        } catch (const bad_variant_cast& error) {
            throw invalid_arguments(invalidConversionText(error) + " at index " +
                                    std::to_string(position));
        }
    }

    // For a value written to a property.
    static T convert(const variant& value) {
        try {
            return value.convert_cast<T>();
        } catch (const bad_variant_cast& error) {
            throw invalid_arguments(invalidConversionText(error));
        }
    }
};

// A variant parameter takes any value as it came.
template <> struct converter<variant, variant> {
    static variant convert(const variant& value, std::size_t /*position*/) { return value; }
    static variant convert(const variant& value) { return value; }
};

} // namespace detail
} // namespace FB
