#pragma once

// Traits that pick the conversion overload for a target type.

#include <boost/type_traits/is_arithmetic.hpp>
#include <boost/utility/enable_if.hpp>

namespace FB {
namespace meta {

// Enables an overload returning R for every arithmetic type T.
template <typename T, typename R = T>
struct enable_for_numbers : boost::enable_if<boost::is_arithmetic<T>, R> {};

} // namespace meta
} // namespace FB
