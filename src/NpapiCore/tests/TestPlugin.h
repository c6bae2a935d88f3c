#pragma once

// The plug-in behind the binding's test factory: a core whose script object
// lets a page, and the tests behind it, see what the binding did: the
// object's parameters, the live cores and hosts, the events of the streams
// the plug-in opened or accepted, and calls run on the main thread from
// worker threads.

#include "BrowserStream.h"
#include "JSAPIAuto.h"
#include "PluginCore.h"
#include "PluginEventSink.h"

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <string>
#include <vector>

namespace npapitest {

// The events of the streams it observes, as text: the event's name, the
// position and length of data, the success of a completion, and the cache
// file a completed stream was given.
// With closeOnData it closes a stream when its first data arrive.
class StreamRecorder : public FB::PluginEventSink {
public:
    bool HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* source) override;

    std::vector<std::string> events;
    bool closeOnData = false;
};

// Its parameter "raise" makes its parameters fail to take: "runtime" with a
// std::runtime_error, "memory" with std::bad_alloc, "create" with the
// binding's PluginCreateError, "other" with an int. Its parameter
// "unsolicited" decides about streams the browser opens by itself: "sink"
// takes them with the recorder, "callback" with a whole-body callback,
// "accept" with neither; otherwise they are not taken. Its parameter
// "closeOnData" has the recorder close streams at their first data.
class TestPluginCore : public FB::PluginCore {
public:
    FB::JSAPIPtr createJSAPI() override;
    // Handles no window event.
    bool HandleEvent(FB::PluginEvent*, FB::PluginEventSource*) override { return false; }
    void setParams(const FB::VariantMap& inParams) override;
    void handleUnsolicitedStream(FB::BrowserStreamRequest& req) override;

    // "name=value" pairs in name order, joined by ";".
    std::string paramsText() const;
    const boost::shared_ptr<StreamRecorder>& recorder() const { return m_recorder; }

private:
    boost::shared_ptr<StreamRecorder> m_recorder = boost::make_shared<StreamRecorder>();
};

// The script object: properties "params", "liveCores", "liveHosts",
// "streamEvents" and "mainThreadCalls"; methods "get(url, seekable)" (a
// requested stream for the recorder; true when the browser took the
// request), "getCached(url)" (the same, kept in a file by the browser),
// "burst(threads, calls)"
// (each worker thread schedules its calls on the main thread, which
// records "thread:call"), "scheduleFailing()" (a main-thread call that
// raises, then one that records "after failure") and "fire(value)" (fires
// "onping" with the value).
class TestPluginAPI : public FB::JSAPIAuto {
public:
    TestPluginAPI(const boost::shared_ptr<TestPluginCore>& core,
                  const boost::shared_ptr<FB::BrowserHost>& host);

    std::string params();
    int liveCores();
    int liveHosts();
    std::string streamEvents();
    std::string mainThreadCalls();
    bool get(const std::string& url, bool seekable);
    bool getCached(const std::string& url);
    void burst(int threads, int calls);
    void scheduleFailing();
    void fire(const FB::variant& value);

private:
    boost::shared_ptr<TestPluginCore> core() const;
    bool request(const std::string& url, bool cache, bool seekable);
    void record(const std::string& call);

    boost::weak_ptr<TestPluginCore> m_core;
    boost::weak_ptr<FB::BrowserHost> m_host;
    std::vector<std::string> m_mainThreadCalls;
};

} // namespace npapitest
