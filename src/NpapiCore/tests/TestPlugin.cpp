#include "TestPlugin.h"

#include "BrowserHost.h"
#include "BrowserStream.h"
#include "BrowserStreamRequest.h"
#include "NpapiBrowserHost.h"
#include "NpapiTypes.h"
#include "TestSinks.h"
#include "utf8_tools.h"

#include <boost/algorithm/string/join.hpp>
#include <boost/make_shared.hpp>
#include <new>
#include <stdexcept>
#include <thread>

namespace npapitest {

namespace {

std::string joined(const std::vector<std::string>& texts) {
    return boost::algorithm::join(texts, ",");
}

void raise(void*) {
    throw std::runtime_error("a failing main-thread call");
}

} // namespace

bool StreamRecorder::HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* source) {
    std::string text = eventName(evt);
    if (evt->validType<FB::StreamDataArrivedEvent>()) {
        const FB::StreamDataArrivedEvent* data = evt->get<FB::StreamDataArrivedEvent>();
        text +=
            ":" + std::to_string(data->getDataPosition()) + ":" + std::to_string(data->getLength());
    }
    if (evt->validType<FB::StreamCompletedEvent>()) {
        text += evt->get<FB::StreamCompletedEvent>()->m_success ? ":true" : ":false";
    }
    events.push_back(text);
    FB::BrowserStream* stream = source->get_as<FB::BrowserStream>();
    if (evt->validType<FB::StreamCompletedEvent>() && !stream->getCacheFilename().empty()) {
        events.push_back("file:" + FB::wstring_to_utf8(stream->getCacheFilename()));
    }
    if (closeOnData && evt->validType<FB::StreamDataArrivedEvent>()) {
        stream->close();
    }
    return false;
}

FB::JSAPIPtr TestPluginCore::createJSAPI() {
    return boost::make_shared<TestPluginAPI>(
        boost::static_pointer_cast<TestPluginCore>(shared_from_this()), m_host);
}

void TestPluginCore::setParams(const FB::VariantMap& inParams) {
    FB::PluginCore::setParams(inParams);
    m_recorder->closeOnData = bool(getParam("closeOnData"));
    const boost::optional<std::string> raise = getParam("raise");
    if (!raise) {
        return;
    }
    if (*raise == "memory") {
        throw std::bad_alloc();
    }
    if (*raise == "create") {
        throw FB::Npapi::PluginCreateError("the test plug-in cannot be made");
    }
    if (*raise == "other") {
        throw 42;
    }
    throw std::runtime_error("the test plug-in refuses its parameters");
}

void TestPluginCore::handleUnsolicitedStream(FB::BrowserStreamRequest& req) {
    const boost::optional<std::string> taking = getParam("unsolicited");
    if (taking == std::string("sink")) {
        req.setEventSink(m_recorder);
    } else if (taking == std::string("callback")) {
        const boost::weak_ptr<StreamRecorder> recorder = m_recorder;
        req.setCallback([recorder](bool success, const FB::HeaderMap&,
                                   const boost::shared_array<std::uint8_t>& body,
                                   std::size_t size) {
            if (const boost::shared_ptr<StreamRecorder> alive = recorder.lock()) {
                alive->events.push_back(
                    std::string("callback:") + (success ? "true:" : "false:") +
                    std::string(reinterpret_cast<const char*>(body.get()), body ? size : 0));
            }
        });
    } else if (taking == std::string("accept")) {
        req.accepted = true;
    }
}

std::string TestPluginCore::paramsText() const {
    std::vector<std::string> pairs;
    for (const FB::VariantMap::value_type& param : m_params) {
        pairs.push_back(param.first + "=" + param.second.convert_cast<std::string>());
    }
    return boost::algorithm::join(pairs, ";");
}

TestPluginAPI::TestPluginAPI(const boost::shared_ptr<TestPluginCore>& core,
                             const boost::shared_ptr<FB::BrowserHost>& host)
    : FB::JSAPIAuto("<TestPluginAPI>"), m_core(core), m_host(host) {
    registerProperty("params", FB::make_property(this, &TestPluginAPI::params));
    registerProperty("liveCores", FB::make_property(this, &TestPluginAPI::liveCores));
    registerProperty("liveHosts", FB::make_property(this, &TestPluginAPI::liveHosts));
    registerProperty("streamEvents", FB::make_property(this, &TestPluginAPI::streamEvents));
    registerProperty("mainThreadCalls", FB::make_property(this, &TestPluginAPI::mainThreadCalls));
    registerMethod("get", FB::make_method(this, &TestPluginAPI::get));
    registerMethod("getCached", FB::make_method(this, &TestPluginAPI::getCached));
    registerMethod("burst", FB::make_method(this, &TestPluginAPI::burst));
    registerMethod("scheduleFailing", FB::make_method(this, &TestPluginAPI::scheduleFailing));
    registerMethod("fire", FB::make_method(this, &TestPluginAPI::fire));
}

boost::shared_ptr<TestPluginCore> TestPluginAPI::core() const {
    return FB::Npapi::lockOrBadCast(m_core);
}

std::string TestPluginAPI::params() {
    return core()->paramsText();
}

int TestPluginAPI::liveCores() {
    return FB::PluginCore::getActivePluginCount();
}

int TestPluginAPI::liveHosts() {
    return FB::BrowserHost::getInstanceCount();
}

std::string TestPluginAPI::streamEvents() {
    return joined(core()->recorder()->events);
}

std::string TestPluginAPI::mainThreadCalls() {
    return joined(m_mainThreadCalls);
}

bool TestPluginAPI::get(const std::string& url, bool seekable) {
    return request(url, false, seekable);
}

bool TestPluginAPI::getCached(const std::string& url) {
    return request(url, true, false);
}

bool TestPluginAPI::request(const std::string& url, bool cache, bool seekable) {
    return bool(FB::Npapi::lockOrBadCast(m_host)->createStream(
        url, core()->recorder(), cache, seekable, FB::BrowserStreamRequest::defaultBufferSize));
}

void TestPluginAPI::burst(int threads, int calls) {
    const boost::shared_ptr<FB::BrowserHost> host = FB::Npapi::lockOrBadCast(m_host);
    const boost::shared_ptr<TestPluginAPI> self =
        boost::static_pointer_cast<TestPluginAPI>(shared_from_this());
    std::vector<std::thread> workers;
    for (int thread = 0; thread < threads; ++thread) {
        workers.emplace_back([host, self, thread, calls] {
            for (int call = 0; call < calls; ++call) {
                const std::string label = std::to_string(thread) + ":" + std::to_string(call);
                host->ScheduleOnMainThread(self, [self, label] { self->record(label); });
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

// The raising call goes to the browser's thread-asynchronous entry as it
// is, without the host's protection.
void TestPluginAPI::scheduleFailing() {
    const boost::shared_ptr<FB::Npapi::NpapiBrowserHost> host =
        FB::ptr_cast<FB::Npapi::NpapiBrowserHost>(FB::Npapi::lockOrBadCast(m_host));
    host->PluginThreadAsyncCall(&raise, nullptr);
    const boost::shared_ptr<TestPluginAPI> self =
        boost::static_pointer_cast<TestPluginAPI>(shared_from_this());
    host->ScheduleOnMainThread(self, [self] { self->record("after failure"); });
}

void TestPluginAPI::fire(const FB::variant& value) {
    FireEvent("onping", FB::VariantList{value});
}

void TestPluginAPI::record(const std::string& call) {
    m_mainThreadCalls.push_back(call);
}

} // namespace npapitest
