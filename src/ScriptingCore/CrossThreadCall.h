#pragma once

// Calls marshalled to the browser's main thread: CrossThreadCall wraps a
// bound functor in a FunctorCallImpl and rides on the host's one-shot
// asynchronous callback, either blocking the caller until the functor has
// run (with its result or its script error) or queueing it and returning
// at once. BrowserHost::CallOnMainThread and ScheduleOnMainThread are the
// front ends.

#include "JSExceptions.h"
#include "logging.h"
#include "variant.h"

#include <boost/make_shared.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/type_traits/integral_constant.hpp>
#include <memory>
#include <type_traits>
#include <utility>

namespace FB {

class BrowserHost;

namespace detail {
// What calling a functor of this type gives, stored by value.
template <class Functor>
using functor_result_t = typename std::decay<decltype(std::declval<Functor&>()())>::type;
} // namespace detail

class FunctorCall {
public:
    virtual ~FunctorCall() = default;
    virtual void call() = 0;
};

// Runs a functor and keeps its result. The shape without a result can also
// keep an object alive for as long as the call exists.
template <class Functor, class C, class RT = detail::functor_result_t<Functor>>
class FunctorCallImpl : public FunctorCall {
public:
    explicit FunctorCallImpl(const Functor& func) : m_func(func) {}
    ~FunctorCallImpl() override {
        FBLOG_TRACE("FunctorCall", "Destroying FunctorCall object (non-void)");
    }

    void call() override { m_result = m_func(); }
    RT getResult() const { return m_result; }

private:
    Functor m_func;
    RT m_result = RT();
};

template <class Functor, class C> class FunctorCallImpl<Functor, C, void> : public FunctorCall {
public:
    explicit FunctorCallImpl(const Functor& func) : m_func(func) {}
    FunctorCallImpl(const boost::shared_ptr<C>& reference, const Functor& func)
        : m_func(func), m_reference(reference) {}
    ~FunctorCallImpl() override {
        FBLOG_TRACE("FunctorCall", "Destroying FunctorCall object (void)");
    }

    void call() override { m_func(); }

private:
    Functor m_func;
    boost::shared_ptr<C> m_reference;
};

class CrossThreadCall : private boost::noncopyable {
public:
    typedef boost::shared_ptr<const BrowserHost> HostPtr;

    // Runs func on the main thread and returns its result. On the main
    // thread it runs inline and its exceptions pass unchanged; from any
    // other thread every failure of func arrives as a script_error with its
    // text. Raises script_error "Could not marshal to main thread" when the
    // call cannot be scheduled and "Shutting down" when the host shuts down
    // before the caller has its result.
    template <class Functor>
    static detail::functor_result_t<Functor> syncCall(const HostPtr& host, Functor func) {
        typedef std::is_void<detail::functor_result_t<Functor>> isVoid;
        return syncCallHelper(host, func, boost::integral_constant<bool, isVoid::value>());
    }

    // Queues func for the main thread, keeping obj alive until it has run.
    // Dropped without a word when the host refuses the call; a failure of
    // func on the main thread ends there.
    template <class C, class Functor>
    static void asyncCall(const HostPtr& host, const boost::shared_ptr<C>& obj, Functor func) {
        const boost::shared_ptr<FunctorCall> funct =
            boost::make_shared<FunctorCallImpl<Functor, C, void>>(obj, func);
        schedule(host, std::unique_ptr<CrossThreadCall>(new CrossThreadCall(funct)));
    }

    // The main-thread halves, handed to BrowserHost::ScheduleAsyncCall.
    static void syncCallbackFunctor(void* userData);
    static void asyncCallbackFunctor(void* userData);

    virtual ~CrossThreadCall() = default;

private:
    explicit CrossThreadCall(const boost::shared_ptr<FunctorCall>& funct) : m_funct(funct) {}

    template <class Functor>
    static detail::functor_result_t<Functor> syncCallHelper(const HostPtr& host, Functor func,
                                                            boost::false_type) {
        typedef FunctorCallImpl<Functor, bool> Call;
        const boost::shared_ptr<Call> funct = boost::make_shared<Call>(func);
        run(host, funct);
        return funct->getResult();
    }

    template <class Functor>
    static void syncCallHelper(const HostPtr& host, Functor func, boost::true_type) {
        run(host, boost::make_shared<FunctorCallImpl<Functor, bool, void>>(func));
    }

    // Runs funct inline on the main thread; from any other thread blocks
    // until it has run there and raises its error.
    static void run(const HostPtr& host, const boost::shared_ptr<FunctorCall>& funct);
    static void runOnMainThread(const HostPtr& host, const boost::shared_ptr<FunctorCall>& funct);
    static void schedule(const HostPtr& host, std::unique_ptr<CrossThreadCall> call);

    void runForWaitingCaller();
    void waitUntilReturned(boost::unique_lock<boost::mutex>& lock, const HostPtr& host);
    void giveUp(boost::unique_lock<boost::mutex>& lock);
    void raiseStoredError() const;

    boost::shared_ptr<FunctorCall> m_funct;
    // Empty, or the script error raised on the main thread.
    variant m_result;
    bool m_returned = false;
    boost::condition_variable m_cond;
    boost::mutex m_mutex;
    // Whether the main thread has begun the call, and whether the waiting
    // caller has left without it. Together they make sure that the functor,
    // which may refer to the caller's stack, never runs after the caller has
    // gone.
    bool m_running = false;
    bool m_abandoned = false;
};

} // namespace FB
