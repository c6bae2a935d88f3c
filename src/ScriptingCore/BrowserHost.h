#pragma once

// FB::BrowserHost: the plug-in's view of the browser for one plug-in
// instance. A browser binding derives from it and supplies the operations
// that need the browser itself: its instance identity, scheduling a call on
// its main thread and the page's delayed-call helper. The base keeps the
// script objects retained for the page, hands fire-and-forget calls to the
// main thread, makes the DOM wrappers and shuts all of it down in order.

#include "APITypes.h"

#include <atomic>
#include <boost/enable_shared_from_this.hpp>
#include <boost/function.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/shared_mutex.hpp>
#include <list>
#include <memory>
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

class BrowserHost : public boost::enable_shared_from_this<BrowserHost>, private boost::noncopyable {
public:
    BrowserHost();
    virtual ~BrowserHost();

    // Identifies the browser-side instance; page objects of this host file
    // their event handlers under it.
    virtual void* getContextID() const = 0;

    // Tells every retained script object to shut down and releases them;
    // from then on calls for the main thread are dropped.
    virtual void shutdown();

    // The DOM wrappers come into being here, so that a derived host can
    // substitute wrapper classes. Called with a non-empty page object only.
    virtual DOM::WindowPtr _createWindow(const JSObjectPtr& obj) const;
    virtual DOM::DocumentPtr _createDocument(const JSObjectPtr& obj) const;
    virtual DOM::ElementPtr _createElement(const JSObjectPtr& obj) const;
    virtual DOM::NodePtr _createNode(const JSObjectPtr& obj) const;

    // Asks the browser to call func once with userData on its main thread;
    // false when it cannot.
    virtual bool _scheduleAsyncCall(void (*func)(void*), void* userData) const = 0;

    // The page's delayed-call helper function, or an empty pointer when the
    // page has none.
    virtual JSObjectPtr getDelayedInvokeDelegate() = 0;

    // Keeps a script object alive on behalf of the page until shutdown.
    void retainJSAPIPtr(const JSAPIPtr& obj) const;

    // Main thread only. Has the page's own timer call func (or its method
    // fname) with args after timeout milliseconds; returns the page timer's
    // id, or -1 when the page has no helper to do it.
    int delayedInvoke(int timeout, const JSObjectPtr& func, const VariantList& args,
                      const std::string& fname);

    // Fire and forget: func runs once on the main thread and obj stays alive
    // until then. Dropped without a word once the host is shut down.
    template <class C, class Functor>
    void ScheduleOnMainThread(const boost::shared_ptr<C>& obj, Functor func) const;

private:
    typedef boost::function<void()> ScheduledCall;

    static void runScheduledCall(void* call);

    void shutdownRetainedObjects();

    std::atomic<bool> m_isShutDown;
    mutable boost::shared_mutex m_crossThreadLock;
    mutable boost::recursive_mutex m_retainLock;
    mutable std::list<JSAPIPtr> m_retainedObjects;
};

template <class C, class Functor>
void BrowserHost::ScheduleOnMainThread(const boost::shared_ptr<C>& obj, Functor func) const {
    boost::shared_lock<boost::shared_mutex> lock(m_crossThreadLock);
    if (m_isShutDown) {
        return;
    }
    std::unique_ptr<ScheduledCall> call(new ScheduledCall([obj, func]() mutable { func(); }));
    if (_scheduleAsyncCall(&BrowserHost::runScheduledCall, call.get())) {
        call.release();
    }
}

} // namespace FB
