#pragma once

// A browser host for tests. Calls for the main thread wait in a queue until
// the test pumps it on its own thread, which plays the main thread; like the
// browser's call manager, shutdown runs whatever is still waiting. The
// page's delayed-call helper is a page function that files a page timer;
// the test runs the timers as the page would.

#include "BrowserHost.h"
#include "FakePageObject.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class FakeBrowserHost : public FB::BrowserHost {
public:
    struct PageTimer {
        int delay;
        FB::JSObjectPtr func;
        FB::VariantList args;
        // Empty for a call of func itself.
        std::string fname;
    };

    void* contextId = this;
    // Whether the page has the delayed-call helper.
    bool hasPageHelper = true;
    // Whether the browser refuses calls for the main thread.
    bool refusesScheduling = false;
    // Every call of the helper, with the helper's arguments.
    std::vector<FB::VariantList> helperCalls;
    std::vector<PageTimer> pageTimers;

    void* getContextID() const override { return contextId; }
    bool _scheduleAsyncCall(void (*func)(void*), void* userData) const override;
    FB::JSObjectPtr getDelayedInvokeDelegate() override;
    void shutdown() override;

    // Runs the waiting calls, including those queued while they run;
    // returns how many ran.
    std::size_t pumpMainThread();
    std::size_t pendingCalls() const;

    // Runs the page timers filed so far as the page's timer does: func
    // itself with a null receiver, or func's method fname with func as the
    // receiver. Returns how many ran.
    std::size_t runPageTimers();

private:
    typedef std::pair<void (*)(void*), void*> QueuedCall;

    FB::variant fileTimer(const FB::VariantList& helperArgs);

    mutable std::mutex m_queueMutex;
    mutable std::deque<QueuedCall> m_mainThreadQueue;
    FakePageObjectPtr m_pageHelper;
};
