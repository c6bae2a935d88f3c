#include "BrowserHost.h"

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Node.h"
#include "DOM/Window.h"
#include "JSExceptions.h"
#include "JSObject.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>

namespace FB {

BrowserHost::BrowserHost() : m_isShutDown(false) {}

BrowserHost::~BrowserHost() = default;

void BrowserHost::shutdown() {
    shutdownRetainedObjects();
    // Upgrade mode does not wait for calls being scheduled; they see the flag.
    boost::upgrade_lock<boost::shared_mutex> lock(m_crossThreadLock);
    m_isShutDown = true;
}

// Walks a copy: a script object told to shut down may retain or release
// others on this thread. The copy goes before the host counts as shut down,
// so that an object released here can still hand its last calls to the main
// thread.
void BrowserHost::shutdownRetainedObjects() {
    std::list<JSAPIPtr> retained;
    {
        boost::recursive_mutex::scoped_lock lock(m_retainLock);
        retained = m_retainedObjects;
    }
    for (const JSAPIPtr& obj : retained) {
        if (obj) {
            obj->shutdown();
        }
    }
    boost::recursive_mutex::scoped_lock lock(m_retainLock);
    m_retainedObjects.clear();
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

void BrowserHost::retainJSAPIPtr(const JSAPIPtr& obj) const {
    boost::recursive_mutex::scoped_lock lock(m_retainLock);
    m_retainedObjects.push_back(obj);
}

int BrowserHost::delayedInvoke(int timeout, const JSObjectPtr& func, const VariantList& args,
                               const std::string& fname) {
    const JSObjectPtr helper = getDelayedInvokeDelegate();
    if (!helper) {
        return -1;
    }
    // The helper tells a function call from a method call by its argument count.
    VariantList helperArgs = variant_list_of(timeout)(func)(args);
    if (!fname.empty()) {
        helperArgs.push_back(fname);
    }
    return helper->Invoke("", helperArgs).convert_cast<int>();
}

void BrowserHost::runScheduledCall(void* call) {
    const std::unique_ptr<ScheduledCall> scheduled(static_cast<ScheduledCall*>(call));
    // Nobody waits for a fire-and-forget call, so its script failures have
    // nobody to be reported to.
    try {
        (*scheduled)();
    } catch (const script_error&) {
    } catch (const bad_variant_cast&) {
    }
}

} // namespace FB
