#pragma once

// FB::variant: the dynamically typed value in which every script value travels
// between the page and native code.

#include "APITypes.h"

#include <boost/any.hpp>
#include <boost/logic/tribool.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/type_traits/integral_constant.hpp>
#include <boost/type_traits/is_arithmetic.hpp>
#include <boost/type_traits/is_base_of.hpp>
#include <boost/type_traits/is_same.hpp>
#include <boost/utility/enable_if.hpp>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace FB {

namespace detail {
class VariantListInserter;
} // namespace detail

namespace variant_detail {

// Held for script undefined where code stores an explicit undefined value.
struct empty {
    bool operator<(const empty&) const { return false; }
};

// Held for script null, and for every null object pointer.
struct null {
    bool operator<(const null&) const { return false; }
};

// Compares two holders that both hold a T.
template <typename T> struct lessthan {
    static bool impl(const boost::any& lhs, const boost::any& rhs) {
        return boost::any_cast<const T&>(lhs) < boost::any_cast<const T&>(rhs);
    }
};

// Shared pointers order by ownership: pointers sharing one owner are
// equivalent, and the objects themselves are never compared.
template <typename T> struct lessthan<boost::shared_ptr<T>> {
    static bool impl(const boost::any& lhs, const boost::any& rhs) {
        return boost::any_cast<const boost::shared_ptr<T>&>(lhs).owner_before(
            boost::any_cast<const boost::shared_ptr<T>&>(rhs));
    }
};

namespace conversion {

// Empty tag whose type selects the convert_variant overload for target T.
template <typename T> struct type_spec {};

// Whether the construction rules (make_variant) take a T: the types a
// variant is built from, and no others.
template <typename T, typename = void> struct has_rule;

} // namespace conversion

// Enables a member for the source types of the construction rules.
template <typename T, typename R = void>
using enable_if_buildable = typename std::enable_if<conversion::has_rule<T>::value, R>::type;

} // namespace variant_detail

// A failed read of a variant. `from` and `to` are the type_info names of the
// held and the requested type; they point at the names' static storage.
class bad_variant_cast : public std::bad_cast {
public:
    bad_variant_cast(const std::type_info& held, const std::type_info& requested)
        : from(held.name()), to(requested.name()) {}

    const char* what() const noexcept override { return "bad cast"; }

    const char* from;
    const char* to;
};

class variant {
public:
    variant() noexcept : lessthan(&lessthan_default) {}
    variant(const variant& other) : object(other.object), lessthan(other.lessthan) {}
    // Takes the other's value without copying it; the other holds nothing.
    variant(variant&& other) noexcept : object(std::move(other.object)), lessthan(other.lessthan) {
        other.lessthan = &lessthan_default;
    }

    // Stores the value by the construction rules of make_variant; only the
    // types those rules take are accepted.
    template <typename T, typename = variant_detail::enable_if_buildable<T>>
    variant(const T& value);

    // Stores the value unchanged as a T (the raw store); the flag only
    // selects this form.
    template <typename T> variant(const T& value, bool);

    variant& assign(const variant& other);
    variant& operator=(const variant& other) { return assign(other); }
    variant& operator=(variant&& other) noexcept;

    template <typename T> variant_detail::enable_if_buildable<T, variant&> assign(const T& value);
    template <typename T>
    variant_detail::enable_if_buildable<T, variant&> operator=(const T& value) {
        return assign(value);
    }

    template <typename T> variant& assign(const T& value, bool);

    // typeid(void) when nothing is held.
    const std::type_info& get_type() const { return object.type(); }

    template <typename T> bool is_of_type() const { return get_type() == typeid(T); }

    // True when nothing or the empty tag is held.
    bool empty() const;
    bool is_null() const;

    // Exact read: a copy of the held value when it is a T.
    template <typename T> T cast() const;

    // The held value itself when it is a T, NULL otherwise: for code that
    // must overwrite the value before its memory goes back.
    template <typename T> T* held_ptr() noexcept { return boost::any_cast<T>(&object); }

    // Converting read; the rules per target type are the convert_variant
    // overloads, std::string and bool excepted.
    template <typename T> T convert_cast() const {
        return convert_variant(*this, variant_detail::conversion::type_spec<T>());
    }

    template <typename T> bool can_be_type() const;

    // Values of different types order by their type names; values of one
    // type by that type's less-than function.
    bool operator<(const variant& rhs) const;

    static bool lessthan_default(const boost::any&, const boost::any&);

private:
    boost::any object;
    bool (*lessthan)(const boost::any&, const boost::any&);
};

template <> std::string variant::convert_cast<std::string>() const;
template <> bool variant::convert_cast<bool>() const;

// Dynamic cast between shared pointers, sharing ownership; empty when the
// object is not a T.
template <typename T, typename U>
boost::shared_ptr<T> ptr_cast(const boost::shared_ptr<U>& pointer) {
    return boost::dynamic_pointer_cast<T>(pointer);
}

namespace variant_detail {
namespace conversion {

// The construction rules: each source type selects exactly one overload, and
// every overload stores through the raw store so that the held type and its
// less-than function agree.

template <typename T>
typename boost::enable_if<boost::is_arithmetic<T>, variant>::type make_variant(const T& value) {
    return variant(value, true);
}

template <typename T>
struct is_stored_as_is
    : boost::integral_constant<
          bool, boost::is_same<T, VariantList>::value || boost::is_same<T, VariantMap>::value ||
                    boost::is_same<T, std::wstring>::value ||
                    boost::is_same<T, std::string>::value || boost::is_same<T, empty>::value ||
                    boost::is_same<T, null>::value> {};

template <typename T>
typename boost::enable_if<is_stored_as_is<T>, variant>::type make_variant(const T& value) {
    return variant(value, true);
}

// A null pointer is never stored as an empty pointer: it becomes the null tag.
template <typename Target, typename T>
variant make_object_variant(const boost::shared_ptr<T>& pointer) {
    if (!pointer) {
        return variant(null(), true);
    }
    return variant(boost::shared_ptr<Target>(pointer), true);
}

template <typename T>
struct is_script_object
    : boost::integral_constant<bool, boost::is_base_of<JSAPI, T>::value &&
                                         !boost::is_base_of<JSObject, T>::value> {};

template <typename T>
typename boost::enable_if<is_script_object<T>, variant>::type
make_variant(const boost::shared_ptr<T>& pointer) {
    return make_object_variant<JSAPI>(pointer);
}

template <typename T>
typename boost::enable_if<boost::is_base_of<JSObject, T>, variant>::type
make_variant(const boost::shared_ptr<T>& pointer) {
    return make_object_variant<JSObject>(pointer);
}

variant make_variant(const char* text);
variant make_variant(const wchar_t* text);

// A tribool itself only: a pointer or a number must not reach this rule
// through tribool's conversion from bool.
template <typename T>
typename boost::enable_if<boost::is_same<T, boost::logic::tribool>, variant>::type
make_variant(const T& value) {
    if (boost::logic::indeterminate(value)) {
        return variant();
    }
    return variant(static_cast<bool>(value), true);
}

// A list built with variant_list_of is stored as the list it holds
// (variant_list.h).
variant make_variant(const detail::VariantListInserter& list);

// Qualified, so that FB::make_variant, found by argument-dependent lookup
// for lists and maps, takes no part.
template <typename T, typename> struct has_rule : std::false_type {};
template <typename T>
struct has_rule<T, std::void_t<decltype(conversion::make_variant(std::declval<const T&>()))>>
    : std::true_type {};

} // namespace conversion
} // namespace variant_detail

template <typename T> variant make_variant(T value) {
    return variant_detail::conversion::make_variant(value);
}

template <typename T, typename> variant::variant(const T& value) : lessthan(&lessthan_default) {
    assign(value);
}

template <typename T> variant::variant(const T& value, bool) : lessthan(&lessthan_default) {
    assign(value, true);
}

// The rule is called on the value itself, not on a copy of it.
template <typename T>
variant_detail::enable_if_buildable<T, variant&> variant::assign(const T& value) {
    return *this = variant_detail::conversion::make_variant(value);
}

template <typename T> variant& variant::assign(const T& value, bool) {
    boost::any holder(value);
    object.swap(holder);
    lessthan = &variant_detail::lessthan<T>::impl;
    return *this;
}

template <typename T> T variant::cast() const {
    if (!is_of_type<T>()) {
        throw bad_variant_cast(get_type(), typeid(T));
    }
    return boost::any_cast<const T&>(object);
}

template <typename T> bool variant::can_be_type() const {
    if (is_of_type<T>()) {
        return true;
    }
    try {
        convert_cast<T>();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace FB

#include "variant_conversions.h"
