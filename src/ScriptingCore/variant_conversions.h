#pragma once

// The converting reads of FB::variant, one convert_variant overload per kind
// of target type. variant::convert_cast finds them by argument-dependent
// lookup on type_spec, so the object-pointer and container targets (shared
// pointers to JSAPI classes, lists, maps) are further overloads in this
// namespace, declared beside the page-object class whose readers they use.

#include "meta.h"
#include "utf8_tools.h"
#include "variant.h"

#include <boost/logic/tribool.hpp>
#include <boost/numeric/conversion/cast.hpp>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace FB {
namespace variant_detail {
namespace conversion {

// Range-tested conversion of a held number of type Held to T. A NaN has no
// integer value, so it is refused for integer targets.
template <typename T, typename Held> T range_checked_number(Held value) {
    if constexpr (std::is_integral<T>::value && std::is_floating_point<Held>::value) {
        if (std::isnan(value)) {
            throw bad_variant_cast(typeid(Held), typeid(T));
        }
    }
    try {
        return boost::numeric_cast<T>(value);
    } catch (const boost::numeric::bad_numeric_cast&) {
        throw bad_variant_cast(typeid(Held), typeid(T));
    }
}

template <typename T, typename Held> std::optional<T> number_if_held(const variant& var) {
    if (!var.is_of_type<Held>()) {
        return std::nullopt;
    }
    return range_checked_number<T>(var.cast<Held>());
}

// Converts the held number of the first listed type that the variant holds.
template <typename T, typename... Held>
std::optional<T> number_from_first_held(const variant& var) {
    std::optional<T> number;
    ((number = number_if_held<T, Held>(var)) || ...);
    return number;
}

// Stream extraction of an unsigned integer wraps a negative number around
// ("-1" reads as the largest value); character extraction takes the sign
// itself and is not affected.
template <typename T>
struct extracts_unsigned_number
    : std::integral_constant<bool, std::is_unsigned<T>::value && !std::is_same<T, bool>::value &&
                                       !std::is_same<T, char>::value &&
                                       !std::is_same<T, unsigned char>::value> {};

// One extraction of a T from a default input stream over the text; whatever
// follows the extracted characters is ignored.
template <typename T> T number_from_text(const std::string& text, const std::type_info& held) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    if constexpr (extracts_unsigned_number<T>::value) {
        stream >> std::ws;
        if (stream.peek() == '-') {
            throw bad_variant_cast(held, typeid(T));
        }
    }
    T value = T();
    stream >> value;
    if (stream.fail()) {
        throw bad_variant_cast(held, typeid(T));
    }
    return value;
}

template <typename T>
typename meta::enable_for_numbers<T>::type convert_variant(const variant& var,
                                                           const type_spec<T>&) {
    if (var.is_of_type<T>()) {
        return var.cast<T>();
    }
    const std::optional<T> number =
        number_from_first_held<T, char, unsigned char, short, unsigned short, int, unsigned int,
                               long, unsigned long, long long, unsigned long long, float, double>(
            var);
    if (number) {
        return *number;
    }
    if (var.is_of_type<bool>()) {
        return static_cast<T>(var.cast<bool>() ? 1 : 0);
    }
    if (var.is_of_type<std::string>()) {
        return number_from_text<T>(var.cast<std::string>(), typeid(std::string));
    }
    if (var.is_of_type<std::wstring>()) {
        return number_from_text<T>(wstring_to_utf8(var.cast<std::wstring>()), typeid(std::wstring));
    }
    throw bad_variant_cast(var.get_type(), typeid(T));
}

// Null and undefined read as indeterminate; anything else as the boolean read
// gives it.
inline boost::logic::tribool convert_variant(const variant& var,
                                             const type_spec<boost::logic::tribool>&) {
    if (var.is_null() || var.empty()) {
        return boost::logic::indeterminate;
    }
    return var.convert_cast<bool>();
}

inline void convert_variant(const variant&, const type_spec<void>&) {}

inline const variant& convert_variant(const variant& var, const type_spec<variant>&) {
    return var;
}

inline null convert_variant(const variant&, const type_spec<null>&) {
    return null();
}

inline empty convert_variant(const variant&, const type_spec<empty>&) {
    return empty();
}

} // namespace conversion
} // namespace variant_detail
} // namespace FB
