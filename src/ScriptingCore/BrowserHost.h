#pragma once

// FB::BrowserHost: the plug-in's view of the browser for one plug-in
// instance. A browser binding derives from it and supplies what needs the
// browser itself: its instance identity, scheduling a call on its main
// thread, running script in the page, the page's DOM, opening streams and
// releasing browser objects on the main thread. The base knows the main
// thread, moves calls onto it (blocking or not) through its asynchronous
// call manager, keeps script objects alive for the page, installs the
// page's delayed-call helper, logs to the page's console, routes stream
// creation and shuts all of it down in order.

#include "APITypes.h"
#include "AsyncFunctionCall.h"
#include "CrossThreadCall.h"

#include <atomic>
#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/shared_mutex.hpp>
#include <boost/thread/thread.hpp>
#include <cstddef>
#include <list>
#include <map>
#include <string>

namespace FB {

namespace DOM {
class Window;
class Document;
class Element;
class Node;
typedef boost::shared_ptr<Window> WindowPtr;
typedef boost::shared_ptr<Document> DocumentPtr;
typedef boost::shared_ptr<Element> ElementPtr;
typedef boost::shared_ptr<Node> NodePtr;
} // namespace DOM

class BrowserStream;
class BrowserStreamManager;
class BrowserStreamRequest;
class PluginEventSink;
typedef boost::shared_ptr<BrowserStream> BrowserStreamPtr;
typedef boost::shared_ptr<PluginEventSink> PluginEventSinkPtr;

class BrowserHost : public boost::enable_shared_from_this<BrowserHost>, private boost::noncopyable {
public:
    // On the browser's main thread, which the host remembers.
    BrowserHost();
    // Does not shut the host down.
    virtual ~BrowserHost();

    // Identifies the browser-side instance; page objects of this host file
    // their event handlers under it.
    virtual void* getContextID() const = 0;

    // Main thread. The binding opens the stream and the host keeps it until
    // it completes; a request with a completion callback and no event sink
    // is followed by the HTTP helper when enableAsync is set. Empty when the
    // stream cannot be opened, or once the host is shut down.
    virtual BrowserStreamPtr createStream(const BrowserStreamRequest& req, bool enableAsync) const;
    // A GET request for url whose events go to sink.
    virtual BrowserStreamPtr createStream(const std::string& url, const PluginEventSinkPtr& sink,
                                          bool cache, bool seekable,
                                          std::size_t internalBufferSize) const;
    // A POST request sending postData, without extra headers.
    virtual BrowserStreamPtr createPostStream(const std::string& url,
                                              const PluginEventSinkPtr& sink,
                                              const std::string& postData, bool cache,
                                              bool seekable, std::size_t internalBufferSize) const;
    // Main thread: a stream the browser opened by itself.
    virtual BrowserStreamPtr createUnsolicitedStream(const BrowserStreamRequest& req) const;

    virtual DOM::DocumentPtr getDOMDocument() = 0;
    // Empty when the page has no window.
    virtual DOM::WindowPtr getDOMWindow() = 0;
    // The element that embeds the plug-in.
    virtual DOM::ElementPtr getDOMElement() = 0;
    virtual void Navigate(const std::string& url, const std::string& target);

    // Runs UTF-8 script text in the page.
    virtual void evaluateJavaScript(const std::string& script) = 0;
    virtual void evaluateJavaScript(const std::wstring& script);

    // Main thread: installs the page's delayed-call helper under this host's
    // name. inst identifies the caller; the name does not depend on it.
    virtual void initJS(const void* inst);
    // Any thread: logs msg and, unless disabled, writes it to the page's
    // console from the main thread.
    virtual void htmlLog(const std::string& msg);
    virtual void setEnableHtmlLog(bool enabled);

    // Main thread: tells every retained script object to shut down and
    // releases them, then runs every call still waiting for the main thread
    // and drops the stream manager. From then on calls for the main thread
    // are refused. A second run finds nothing left to do.
    virtual void shutdown();

    // Main thread: releases browser objects whose release was deferred.
    virtual void DoDeferredRelease() const = 0;
    // The system's proxy for url, in "type", "hostname" and "port".
    virtual bool DetectProxySettings(std::map<std::string, std::string>& settings,
                                     const std::string& url);

    // The DOM wrappers come into being here, so that a derived host can
    // substitute wrapper classes. Called with a non-empty page object only.
    virtual DOM::WindowPtr _createWindow(const JSObjectPtr& obj) const;
    virtual DOM::DocumentPtr _createDocument(const JSObjectPtr& obj) const;
    virtual DOM::ElementPtr _createElement(const JSObjectPtr& obj) const;
    virtual DOM::NodePtr _createNode(const JSObjectPtr& obj) const;

    // Asks the browser to call func once with userData on its main thread;
    // false when it cannot.
    virtual bool _scheduleAsyncCall(void (*func)(void*), void* userData) const = 0;
    // Opens a browser stream for req; empty on failure.
    virtual BrowserStreamPtr _createStream(const BrowserStreamRequest& req) const = 0;
    // Wraps a stream the browser opened by itself.
    virtual BrowserStreamPtr _createUnsolicitedStream(const BrowserStreamRequest& req) const = 0;

    // The number of live hosts.
    static int getInstanceCount();

    bool isMainThread() const;
    // Marks the operations that belong to the main thread; it checks nothing.
    void assertMainThread() const {}
    bool isShutDown() const { return m_isShutDown; }

    // Any thread: the one road to the main thread. func runs there once with
    // userData, or, when the host shuts down first, during its shutdown.
    // False when the call is refused; the caller then still owns userData.
    bool ScheduleAsyncCall(void (*func)(void*), void* userData) const;

    // Keeps a script object alive on behalf of the page until it is released
    // or the host shuts down; an object retained twice needs two releases.
    void retainJSAPIPtr(const JSAPIPtr& obj) const;
    void releaseJSAPIPtr(const JSAPIPtr& obj) const;
    void freeRetainedObjects() const;

    // Main thread: the page's delayed-call helper, installed when missing;
    // empty when the page has no window.
    JSObjectPtr getDelayedInvokeDelegate();
    // Main thread: has the page's own timer call func (or its method fname)
    // with args after delay milliseconds; returns the page timer's id, or -1
    // when no helper can be had.
    int delayedInvoke(int delay, const JSObjectPtr& func, const VariantList& args,
                      const std::string& fname);
    // The main-thread half of htmlLog.
    static void AsyncHtmlLog(void* logReq);

    // Any thread: runs func on the main thread and returns its result (see
    // CrossThreadCall::syncCall for the errors).
    template <class Functor> detail::functor_result_t<Functor> CallOnMainThread(Functor func) const;
    // Any thread: func runs once on the main thread and obj stays alive until
    // then. Dropped without a word once the host is shut down.
    template <class C, class Functor>
    void ScheduleOnMainThread(const boost::shared_ptr<C>& obj, Functor func) const;

private:
    void shutdownRetainedObjects();
    BrowserStreamPtr retained(const BrowserStreamPtr& stream) const;

    boost::shared_ptr<AsyncCallManager> m_asyncCallManager;
    boost::thread::id m_threadId;
    std::atomic<bool> m_isShutDown;
    mutable boost::shared_mutex m_crossThreadLock;
    mutable boost::recursive_mutex m_retainLock;
    mutable std::list<JSAPIPtr> m_retainedObjects;
    boost::shared_ptr<BrowserStreamManager> m_streamManager;
    std::atomic<bool> m_htmlLogEnabled;
    std::string m_uniqueId;
    std::string m_jsHelperName;

    static std::atomic<int> InstanceCount;
};

template <class Functor>
detail::functor_result_t<Functor> BrowserHost::CallOnMainThread(Functor func) const {
    boost::shared_lock<boost::shared_mutex> lock(m_crossThreadLock);
    return CrossThreadCall::syncCall(shared_from_this(), func);
}

template <class C, class Functor>
void BrowserHost::ScheduleOnMainThread(const boost::shared_ptr<C>& obj, Functor func) const {
    boost::shared_lock<boost::shared_mutex> lock(m_crossThreadLock);
    CrossThreadCall::asyncCall(shared_from_this(), obj, func);
}

} // namespace FB
