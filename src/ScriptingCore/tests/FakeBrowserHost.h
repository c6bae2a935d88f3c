#pragma once

// A browser host for tests. Calls for the main thread wait in a queue until
// the test pumps it on its own thread, which plays the main thread; any
// thread may post. The page is a fake window: script handed to
// evaluateJavaScript is recorded, and the delayed-call helper script, when
// it is exactly the helper's text, installs a page function under the
// helper's name that files page timers on a virtual clock. The test runs
// the timers by moving the clock; nothing sleeps. Streams are opened as the
// binding opens them (the request's sink attached, then told the stream is
// created) and the test drives them.

#include "BrowserHost.h"
#include "BrowserStream.h"
#include "BrowserStreamRequest.h"
#include "FakePageObject.h"

#include <atomic>
#include <boost/weak_ptr.hpp>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A stream as the browser binding drives it: the test opens it, hands it
// data and ends it. Closing an open stream reports a completion, as the
// binding does, without marking the stream completed.
class FakeStream : public FB::BrowserStream {
public:
    using FB::BrowserStream::BrowserStream;

    void open();
    void failOpen();
    void deliver(const std::string& bytes, std::size_t position);
    // Marks the stream completed, then reports the end.
    void complete(bool success);

    bool readRanges(const std::vector<Range>& ranges) override;
    bool write(const char* data, std::size_t dataLength, std::size_t& written) override;
    bool close() override;

    int closed = 0;
    std::vector<std::vector<Range>> rangeReads;
};

class FakeBrowserHost : public FB::BrowserHost {
public:
    struct PageTimer {
        int due;
        int id;
        FB::JSObjectPtr func;
        FB::VariantList args;
        // Set for a call of func's method fname with func as receiver.
        bool isMethodCall;
        std::string fname;
    };

    // The delayed-call helper's script for a key, as the page knows it.
    static std::string helperScript(const std::string& key);

    void* contextId = this;
    // Whether the page has a window.
    bool hasWindow = true;
    // Whether the page runs the script it is given.
    bool runsScripts = true;
    // Whether the browser refuses calls for the main thread.
    bool refusesScheduling = false;
    // How many times the host asked the browser for a main-thread call.
    mutable std::atomic<int> scheduleRequests{0};
    // Whether the browser refuses to open streams.
    bool refusesStreams = false;

    std::vector<std::string> evaluatedScripts;
    // Every call of an installed helper, with the helper's arguments.
    std::vector<FB::VariantList> helperCalls;
    mutable std::atomic<int> deferredReleaseRuns{0};
    mutable std::vector<FB::BrowserStreamRequest> streamRequests;
    mutable std::vector<FB::BrowserStreamRequest> unsolicitedRequests;
    // Every stream the binding opened, held weakly.
    mutable std::vector<boost::weak_ptr<FakeStream>> openedStreams;

    // The page's window object, made on first use.
    FakePageObjectPtr window();

    void* getContextID() const override { return contextId; }
    FB::DOM::DocumentPtr getDOMDocument() override;
    FB::DOM::WindowPtr getDOMWindow() override;
    FB::DOM::ElementPtr getDOMElement() override;
    void evaluateJavaScript(const std::string& script) override;
    using FB::BrowserHost::evaluateJavaScript;
    void DoDeferredRelease() const override { ++deferredReleaseRuns; }
    bool _scheduleAsyncCall(void (*func)(void*), void* userData) const override;
    FB::BrowserStreamPtr _createStream(const FB::BrowserStreamRequest& req) const override;
    FB::BrowserStreamPtr
    _createUnsolicitedStream(const FB::BrowserStreamRequest& req) const override;

    // Runs the waiting calls, including those queued while they run;
    // returns how many ran.
    std::size_t pumpMainThread();
    std::size_t pendingCalls() const;

    // Moves the page's clock on by ms and runs every timer that falls due
    // on the way, in the order they fall due; returns how many ran.
    std::size_t advancePageClock(int ms);
    // Moves the clock to the last timer filed so far.
    std::size_t runPageTimers();
    std::size_t pendingTimers() const { return m_timers.size(); }
    int pageTime() const { return m_now; }

private:
    typedef std::pair<void (*)(void*), void*> QueuedCall;

    FakePageObjectPtr pageObject(FakePageObjectPtr& slot);
    FB::variant fileTimer(const FB::VariantList& helperArgs);

    mutable std::mutex m_queueMutex;
    mutable std::deque<QueuedCall> m_mainThreadQueue;
    FakePageObjectPtr m_window;
    FakePageObjectPtr m_document;
    FakePageObjectPtr m_element;
    std::vector<PageTimer> m_timers;
    int m_now = 0;
    int m_lastTimerId = 0;
};
