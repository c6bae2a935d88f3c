#pragma once

// Traits that pick the conversion overload for a target type.

#include <boost/type_traits/is_arithmetic.hpp>
#include <boost/utility/enable_if.hpp>
#include <string>
#include <type_traits>

namespace FB {
namespace meta {

// Enables an overload returning R for every arithmetic type T.
template <typename T, typename R = T>
struct enable_for_numbers : boost::enable_if<boost::is_arithmetic<T>, R> {};

namespace detail {

template <typename T, typename = void> struct is_container : std::false_type {};
template <typename T>
struct is_container<T, std::void_t<typename T::value_type, typename T::const_iterator>>
    : std::true_type {};

template <typename T, typename = void> struct has_key_type : std::false_type {};
template <typename T> struct has_key_type<T, std::void_t<typename T::key_type>> : std::true_type {};

template <typename T, typename = void> struct has_mapped_type : std::false_type {};
template <typename T>
struct has_mapped_type<T, std::void_t<typename T::mapped_type>> : std::true_type {};

template <typename T> struct is_string : std::false_type {};
template <typename C, typename Tr, typename A>
struct is_string<std::basic_string<C, Tr, A>> : std::true_type {};

} // namespace detail

// Enables an overload returning R for sequence containers (vectors, lists);
// strings, which have their own conversions, are not among them.
template <typename T, typename R = T>
struct enable_for_non_assoc_containers
    : boost::enable_if_c<detail::is_container<T>::value && !detail::has_key_type<T>::value &&
                             !detail::is_string<T>::value,
                         R> {};

// Enables an overload returning R for containers of key-value pairs (maps).
template <typename T, typename R = T>
struct enable_for_pair_assoc_containers
    : boost::enable_if_c<detail::has_key_type<T>::value && detail::has_mapped_type<T>::value, R> {};

} // namespace meta
} // namespace FB
