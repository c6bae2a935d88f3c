#pragma once

// FB::make_method turns a member function with 0, 1 or 2 parameters into a
// method functor taking a script call's argument list. The adapter counts and
// converts the arguments by position before the member runs, so a member is
// only entered with arguments of its declared types, and wraps the result in
// a variant. The functor holds the object as a plain pointer and never owns
// it: it lives in the object's own member table.

#include "ArgumentConverter.h"
#include "JSExceptions.h"
#include "variant.h"

#include <boost/function.hpp>
#include <cstddef>
#include <string>
#include <type_traits>

namespace FB {

typedef boost::function<variant(const VariantList&)> MethodFunctor;

// One registered method.
struct MethodFunctors {
    MethodFunctors() = default;
    explicit MethodFunctors(const MethodFunctor& functor) : method(functor) {}

    MethodFunctor method;
};

namespace detail {
namespace methods {

// Calls the member and stores its result; a void member yields undefined.
template <typename R, typename Call> variant callAndWrap(const Call& call) {
    if constexpr (std::is_void<R>::value) {
        call();
        return variant();
    } else {
        return variant(call());
    }
}

} // namespace methods
} // namespace detail

// The argument at `position` (counted from 1) converted to T. A missing
// variant argument arrives as undefined; any other missing one is an error.
template <typename T> T convertArgumentSoft(const VariantList& args, std::size_t position) {
    if (args.size() >= position) {
        return detail::converter<T, variant>::convert(args[position - 1], position);
    }
    if constexpr (std::is_same<T, variant>::value) {
        return variant();
    } else {
        throw invalid_arguments("Error: Argument " + std::to_string(position) + "is not optional.");
    }
}

namespace detail {
namespace methods {

// The argument of a member's last parameter; `position` is also the number of
// declared parameters, so a longer list is refused before any conversion.
template <typename T> T convertLastArgument(const VariantList& args, std::size_t position) {
    if (args.size() > position) {
        throw invalid_arguments("Too many arguments, expected " + std::to_string(position) + ".");
    }
    return convertArgumentSoft<T>(args, position);
}

// A member without parameters ignores every argument it is given.
template <typename C, typename R, typename F> struct method_wrapper0 {
    explicit method_wrapper0(F function) : f(function) {}

    variant operator()(C* instance, const VariantList& /*args*/) const {
        return callAndWrap<R>([&] { return (instance->*f)(); });
    }

    F f;
};

template <typename C, typename R, typename P1, typename F> struct method_wrapper1 {
    explicit method_wrapper1(F function) : f(function) {}

    variant operator()(C* instance, const VariantList& args) const {
        const argument_t<P1> first = convertLastArgument<argument_t<P1>>(args, 1);
        return callAndWrap<R>([&] { return (instance->*f)(first); });
    }

    F f;
};

// The first argument is converted completely before the count is checked.
template <typename C, typename R, typename P1, typename P2, typename F> struct method_wrapper2 {
    explicit method_wrapper2(F function) : f(function) {}

    variant operator()(C* instance, const VariantList& args) const {
        const argument_t<P1> first = convertArgumentSoft<argument_t<P1>>(args, 1);
        const argument_t<P2> second = convertLastArgument<argument_t<P2>>(args, 2);
        return callAndWrap<R>([&] { return (instance->*f)(first, second); });
    }

    F f;
};

template <typename C, typename Wrapper>
MethodFunctor bindWrapper(C* instance, const Wrapper& wrapper) {
    return [instance, wrapper](const VariantList& args) { return wrapper(instance, args); };
}

} // namespace methods
} // namespace detail

// `instance` may be of a class derived from the member's class C.
template <typename Instance, typename C, typename R>
MethodFunctor make_method(Instance* instance, R (C::*function)()) {
    typedef R (C::*F)();
    return detail::methods::bindWrapper<C>(instance,
                                           detail::methods::method_wrapper0<C, R, F>(function));
}

template <typename Instance, typename C, typename R, typename P1>
MethodFunctor make_method(Instance* instance, R (C::*function)(P1)) {
    typedef R (C::*F)(P1);
    return detail::methods::bindWrapper<C>(instance,
                                           detail::methods::method_wrapper1<C, R, P1, F>(function));
}

template <typename Instance, typename C, typename R, typename P1, typename P2>
MethodFunctor make_method(Instance* instance, R (C::*function)(P1, P2)) {
    typedef R (C::*F)(P1, P2);
    return detail::methods::bindWrapper<C>(
        instance, detail::methods::method_wrapper2<C, R, P1, P2, F>(function));
}

} // namespace FB
