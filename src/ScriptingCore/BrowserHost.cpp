#include "BrowserHost.h"

#include "BrowserStream.h"
#include "BrowserStreamManager.h"
#include "BrowserStreamRequest.h"
#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Node.h"
#include "DOM/Window.h"
#include "JSExceptions.h"
#include "JSObject.h"
#include "SimpleStreamHelper.h"
#include "SystemProxyDetector.h"
#include "logging.h"
#include "utf8_tools.h"
#include "variant_list.h"

#include <algorithm>
#include <boost/format.hpp>
#include <boost/make_shared.hpp>
#include <cstdio>
#include <exception>
#include <memory>

namespace FB {

namespace {

const char* const helperScriptTemplate =
    "window.__FB_CALL_%1% = function(delay, f, args, fname) {"
    "   if (arguments.length == 3)"
    "       return setTimeout(function() { f.apply(null, args); }, delay);"
    "   else"
    "       return setTimeout(function() { f[fname].apply(f, args); }, delay);"
    "};";

const char* const helperNameTemplate = "__FB_CALL_%1%";

// Helper names come from a process-wide counter, so that two instances on a
// page never share one and the page learns nothing about the plug-in's
// memory.
unsigned long nextHelperKey() {
    static std::atomic<unsigned long> lastKey(0);
    return ++lastKey;
}

BrowserStreamRequest streamRequest(const std::string& url, const std::string& method,
                                   const PluginEventSinkPtr& sink, bool cache, bool seekable,
                                   std::size_t internalBufferSize) {
    BrowserStreamRequest req(url, method, true);
    req.setEventSink(sink);
    req.setCacheable(cache);
    req.setSeekable(seekable);
    req.setBufferSize(internalBufferSize);
    return req;
}

} // namespace

// One message on its way to the page's console; it keeps the host alive
// until it is written.
struct AsyncLogRequest {
    AsyncLogRequest(const boost::shared_ptr<BrowserHost>& host, const std::string& msg)
        : m_host(host), m_msg(msg) {}

    boost::shared_ptr<BrowserHost> m_host;
    std::string m_msg;
};

std::atomic<int> BrowserHost::InstanceCount(0);

BrowserHost::BrowserHost()
    : m_asyncCallManager(boost::make_shared<AsyncCallManager>()),
      m_threadId(boost::this_thread::get_id()), m_isShutDown(false),
      m_streamManager(boost::make_shared<BrowserStreamManager>()), m_htmlLogEnabled(true) {
    ++InstanceCount;
}

BrowserHost::~BrowserHost() {
    --InstanceCount;
}

int BrowserHost::getInstanceCount() {
    return InstanceCount;
}

bool BrowserHost::isMainThread() const {
    return boost::this_thread::get_id() == m_threadId;
}

BrowserStreamPtr BrowserHost::createStream(const BrowserStreamRequest& req,
                                           bool enableAsync) const {
    assertMainThread();
    // The helper calls back in every case, once: with the failure when it
    // gets no stream, as after shutdown.
    if (enableAsync && req.getCallback() && !req.getEventSink()) {
        return SimpleStreamHelper::AsyncRequest(shared_from_this(), req)->getStream();
    }
    if (isShutDown()) {
        return BrowserStreamPtr();
    }
    return retained(_createStream(req));
}

BrowserStreamPtr BrowserHost::createStream(const std::string& url, const PluginEventSinkPtr& sink,
                                           bool cache, bool seekable,
                                           std::size_t internalBufferSize) const {
    return createStream(streamRequest(url, "GET", sink, cache, seekable, internalBufferSize), true);
}

BrowserStreamPtr BrowserHost::createPostStream(const std::string& url,
                                               const PluginEventSinkPtr& sink,
                                               const std::string& postData, bool cache,
                                               bool seekable,
                                               std::size_t internalBufferSize) const {
    BrowserStreamRequest req =
        streamRequest(url, "POST", sink, cache, seekable, internalBufferSize);
    req.setPostData(postData, "");
    return createStream(req, true);
}

BrowserStreamPtr BrowserHost::createUnsolicitedStream(const BrowserStreamRequest& req) const {
    assertMainThread();
    if (isShutDown()) {
        return BrowserStreamPtr();
    }
    return retained(_createUnsolicitedStream(req));
}

// Main thread, before shutdown: the stream manager is still there.
BrowserStreamPtr BrowserHost::retained(const BrowserStreamPtr& stream) const {
    if (stream) {
        m_streamManager->retainStream(stream);
    }
    return stream;
}

void BrowserHost::Navigate(const std::string&, const std::string&) {}

void BrowserHost::evaluateJavaScript(const std::wstring& script) {
    evaluateJavaScript(wstring_to_utf8(script));
}

void BrowserHost::initJS(const void*) {
    assertMainThread();
    if (m_uniqueId.empty()) {
        m_uniqueId = std::to_string(nextHelperKey());
    }
    m_jsHelperName = (boost::format(helperNameTemplate) % m_uniqueId).str();
    evaluateJavaScript((boost::format(helperScriptTemplate) % m_uniqueId).str());
}

JSObjectPtr BrowserHost::getDelayedInvokeDelegate() {
    const DOM::WindowPtr window = getDOMWindow();
    if (!window) {
        return JSObjectPtr();
    }
    if (m_jsHelperName.empty()) {
        initJS(this);
    }
    JSObjectPtr helper;
    try {
        helper = window->getProperty<JSObjectPtr>(m_jsHelperName);
    } catch (const script_error&) {
    }
    if (!helper) {
        initJS(this);
        helper = window->getProperty<JSObjectPtr>(m_jsHelperName);
    }
    return helper;
}

int BrowserHost::delayedInvoke(int delay, const JSObjectPtr& func, const VariantList& args,
                               const std::string& fname) {
    assertMainThread();
    const JSObjectPtr helper = getDelayedInvokeDelegate();
    if (!helper) {
        return -1;
    }
    // The helper tells a function call from a method call by its argument count.
    VariantList helperArgs = variant_list_of(delay)(func)(args);
    if (!fname.empty()) {
        helperArgs.push_back(fname);
    }
    return helper->Invoke("", helperArgs).convert_cast<int>();
}

void BrowserHost::htmlLog(const std::string& msg) {
    FBLOG_INFO("BrowserHost", "Logging to HTML: " + msg);
    if (!m_htmlLogEnabled) {
        return;
    }
    try {
        std::unique_ptr<AsyncLogRequest> request(new AsyncLogRequest(shared_from_this(), msg));
        if (ScheduleAsyncCall(&BrowserHost::AsyncHtmlLog, request.get())) {
            request.release();
        }
    } catch (const std::exception&) {
    }
}

void BrowserHost::setEnableHtmlLog(bool enabled) {
    m_htmlLogEnabled = enabled;
}

void BrowserHost::AsyncHtmlLog(void* logReq) {
    const std::unique_ptr<AsyncLogRequest> request(static_cast<AsyncLogRequest*>(logReq));
    try {
        const DOM::WindowPtr window = request->m_host->getDOMWindow();
        const JSObjectPtr page = window ? window->getJSObject() : JSObjectPtr();
        if (page && page->HasProperty("console")) {
            const JSObjectPtr console = window->getProperty<JSObjectPtr>("console");
            std::printf("Logging: %s\n", request->m_msg.c_str());
            if (console) {
                console->Invoke("log", variant_list_of(request->m_msg));
            }
        }
    } catch (...) {
        FBLOG_TRACE("BrowserHost", "Logging to browser console failed");
    }
}

void BrowserHost::shutdown() {
    // A callback run below may drop the last other reference to this host.
    const boost::shared_ptr<BrowserHost> self = shared_from_this();
    shutdownRetainedObjects();
    freeRetainedObjects();
    {
        // Upgrade mode does not wait for cross-thread calls in progress;
        // they notice the flag.
        boost::upgrade_lock<boost::shared_mutex> lock(m_crossThreadLock);
        m_isShutDown = true;
    }
    // The waiting calls run with no lock held: they call out, and one of
    // them may end in another shutdown of this host.
    m_asyncCallManager->shutdown();
    m_streamManager.reset();
}

// The list is taken out under its lock, so that objects told to shut down
// may retain or release others. They are released before the host counts as
// shut down, so that calls they make while going still reach the main
// thread. One object's failure does not keep the others from being told.
void BrowserHost::shutdownRetainedObjects() {
    std::list<JSAPIPtr> retained;
    {
        boost::recursive_mutex::scoped_lock lock(m_retainLock);
        retained.swap(m_retainedObjects);
    }
    for (const JSAPIPtr& obj : retained) {
        if (!obj) {
            continue;
        }
        try {
            obj->shutdown();
        } catch (const std::exception& e) {
            FBLOG_WARN("BrowserHost",
                       std::string("Script object failed to shut down: ") + e.what());
        } catch (...) {
            FBLOG_WARN("BrowserHost", "Script object failed to shut down");
        }
    }
}

void BrowserHost::retainJSAPIPtr(const JSAPIPtr& obj) const {
    boost::recursive_mutex::scoped_lock lock(m_retainLock);
    m_retainedObjects.push_back(obj);
}

// The released object goes after the lock: its destructor may call out.
void BrowserHost::releaseJSAPIPtr(const JSAPIPtr& obj) const {
    JSAPIPtr released;
    {
        boost::recursive_mutex::scoped_lock lock(m_retainLock);
        const std::list<JSAPIPtr>::iterator found =
            std::find(m_retainedObjects.begin(), m_retainedObjects.end(), obj);
        if (found != m_retainedObjects.end()) {
            released.swap(*found);
            m_retainedObjects.erase(found);
        }
    }
    released.reset();
    if (isMainThread()) {
        DoDeferredRelease();
    }
}

void BrowserHost::freeRetainedObjects() const {
    std::list<JSAPIPtr> released;
    {
        boost::recursive_mutex::scoped_lock lock(m_retainLock);
        released.swap(m_retainedObjects);
    }
    released.clear();
    DoDeferredRelease();
}

bool BrowserHost::ScheduleAsyncCall(void (*func)(void*), void* userData) const {
    if (isShutDown()) {
        return false;
    }
    _asyncCallData* const data = m_asyncCallManager->makeCallback(func, userData);
    // A shutdown on the main thread may run the record while the browser is
    // asked; its callback then owns the user data, and the call counts as
    // made whatever the browser answers.
    bool accepted = false;
    try {
        accepted = _scheduleAsyncCall(&asyncCallWrapper, data);
    } catch (...) {
        if (m_asyncCallManager->remove(data)) {
            throw;
        }
        return true;
    }
    return accepted || !m_asyncCallManager->remove(data);
}

bool BrowserHost::DetectProxySettings(std::map<std::string, std::string>& settings,
                                      const std::string& url) {
    return SystemProxyDetector::get()->detectProxy(settings, url);
}

DOM::WindowPtr BrowserHost::_createWindow(const JSObjectPtr& obj) const {
    return boost::make_shared<DOM::Window>(obj);
}

DOM::DocumentPtr BrowserHost::_createDocument(const JSObjectPtr& obj) const {
    return boost::make_shared<DOM::Document>(obj);
}

DOM::ElementPtr BrowserHost::_createElement(const JSObjectPtr& obj) const {
    return boost::make_shared<DOM::Element>(obj);
}

DOM::NodePtr BrowserHost::_createNode(const JSObjectPtr& obj) const {
    return boost::make_shared<DOM::Node>(obj);
}

} // namespace FB
