#pragma once

// FB::make_property turns a member getter, and optionally a member setter,
// into the getter and setter functors of one script property. The setter
// converts the written value to the setter's parameter type first; a
// getter-only property ignores every write. Like the method functors, these
// hold the object as a plain pointer.

#include "ArgumentConverter.h"
#include "variant.h"

#include <boost/function.hpp>

namespace FB {

typedef boost::function<variant()> GetterFunctor;
typedef boost::function<void(const variant&)> SetterFunctor;

// One registered property.
struct PropertyFunctors {
    PropertyFunctors() = default;
    PropertyFunctors(const GetterFunctor& get, const SetterFunctor& set)
        : getter(get), setter(set) {}

    GetterFunctor getter;
    SetterFunctor setter;
};

namespace detail {
namespace properties {

// The setter of a getter-only property: writes succeed without effect.
inline void dummySetter(const variant& /*value*/) {}

template <typename Instance, typename C, typename G>
GetterFunctor select_get_property_functor(Instance* instance, G (C::*getter)()) {
    C* object = instance;
    return [object, getter]() { return variant((object->*getter)()); };
}

template <typename Instance, typename C, typename S>
SetterFunctor select_set_property_functor(Instance* instance, void (C::*setter)(S)) {
    C* object = instance;
    return [object, setter](const variant& value) {
        (object->*setter)(converter<argument_t<S>, variant>::convert(value));
    };
}

} // namespace properties
} // namespace detail

template <typename Instance, typename C, typename G>
PropertyFunctors make_property(Instance* instance, G (C::*getter)()) {
    return PropertyFunctors(detail::properties::select_get_property_functor(instance, getter),
                            &detail::properties::dummySetter);
}

template <typename Instance, typename CG, typename G, typename CS, typename S>
PropertyFunctors make_property(Instance* instance, G (CG::*getter)(), void (CS::*setter)(S)) {
    return PropertyFunctors(detail::properties::select_get_property_functor(instance, getter),
                            detail::properties::select_set_property_functor(instance, setter));
}

} // namespace FB
