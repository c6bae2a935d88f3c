#include "CrossThreadCall.h"

#include "BrowserHost.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/weak_ptr.hpp>
#include <exception>

namespace FB {

namespace {

typedef boost::weak_ptr<CrossThreadCall> CallHandle;

variant storedError(const std::string& message) {
    return variant(boost::make_shared<script_error>(message), true);
}

} // namespace

void CrossThreadCall::run(const HostPtr& host, const boost::shared_ptr<FunctorCall>& funct) {
    if (host->isMainThread()) {
        funct->call();
    } else {
        runOnMainThread(host, funct);
    }
}

// The caller holds the call's mutex from before the call is scheduled, so
// the main thread cannot signal before the caller waits.
void CrossThreadCall::runOnMainThread(const HostPtr& host,
                                      const boost::shared_ptr<FunctorCall>& funct) {
    const boost::shared_ptr<CrossThreadCall> call(new CrossThreadCall(funct));
    boost::unique_lock<boost::mutex> lock(call->m_mutex);
    std::unique_ptr<CallHandle> handle(new CallHandle(call));
    if (!host->ScheduleAsyncCall(&CrossThreadCall::syncCallbackFunctor, handle.get())) {
        throw script_error("Could not marshal to main thread");
    }
    handle.release();
    call->waitUntilReturned(lock, host);
    call->raiseStoredError();
}

// Wakes at the signal, or every 10 ms to look at the host.
void CrossThreadCall::waitUntilReturned(boost::unique_lock<boost::mutex>& lock,
                                        const HostPtr& host) {
    while (!m_returned && !host->isShutDown()) {
        m_cond.timed_wait(lock, boost::posix_time::milliseconds(10));
    }
    if (host->isShutDown()) {
        giveUp(lock);
        throw script_error("Shutting down");
    }
}

// A call already running may be writing where the caller's stack is, so the
// caller waits for it to end; one not yet begun will never begin.
void CrossThreadCall::giveUp(boost::unique_lock<boost::mutex>& lock) {
    if (!m_running) {
        m_abandoned = true;
        return;
    }
    while (!m_returned) {
        m_cond.wait(lock);
    }
}

void CrossThreadCall::raiseStoredError() const {
    if (m_result.is_of_type<boost::shared_ptr<script_error>>()) {
        throw script_error(m_result.cast<boost::shared_ptr<script_error>>()->what());
    }
}

void CrossThreadCall::syncCallbackFunctor(void* userData) {
    const std::unique_ptr<CallHandle> handle(static_cast<CallHandle*>(userData));
    if (const boost::shared_ptr<CrossThreadCall> call = handle->lock()) {
        // Traced where the caller may still give the call up before it
        // begins.
        FBLOG_TRACE("CrossThreadCall", "Taking a blocking call for its caller");
        call->runForWaitingCaller();
    }
}

// Whatever the functor raises goes back to the waiting caller as a script
// error with the same text, so that the caller never waits for nothing.
void CrossThreadCall::runForWaitingCaller() {
    {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        if (m_abandoned) {
            return;
        }
        m_running = true;
    }
    variant error;
    try {
        m_funct->call();
    } catch (const std::exception& e) {
        error = storedError(e.what());
    } catch (...) {
        error = storedError("Unknown error");
    }
    {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        m_result = error;
        m_returned = true;
    }
    m_cond.notify_all();
}

void CrossThreadCall::schedule(const HostPtr& host, std::unique_ptr<CrossThreadCall> call) {
    if (host->ScheduleAsyncCall(&CrossThreadCall::asyncCallbackFunctor, call.get())) {
        call.release();
    }
}

// Nobody waits for a queued call: its script failures are dropped, and
// anything else is logged, since it must not leave the main loop.
void CrossThreadCall::asyncCallbackFunctor(void* userData) {
    const std::unique_ptr<CrossThreadCall> call(static_cast<CrossThreadCall*>(userData));
    try {
        call->m_funct->call();
    } catch (const script_error&) {
    } catch (const bad_variant_cast&) {
    } catch (const std::exception& e) {
        FBLOG_WARN("FunctorCall", std::string("Queued call failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("FunctorCall", "Queued call failed");
    }
}

} // namespace FB
