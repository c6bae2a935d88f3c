#include "FakeBrowserHost.h"

#include <boost/make_shared.hpp>

bool FakeBrowserHost::_scheduleAsyncCall(void (*func)(void*), void* userData) const {
    if (refusesScheduling) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_mainThreadQueue.emplace_back(func, userData);
    return true;
}

FB::JSObjectPtr FakeBrowserHost::getDelayedInvokeDelegate() {
    if (!hasPageHelper) {
        return FB::JSObjectPtr();
    }
    if (!m_pageHelper) {
        m_pageHelper = boost::make_shared<FakePageObject>(shared_from_this());
        m_pageHelper->methods[""] = [this](const FB::VariantList& args) { return fileTimer(args); };
    }
    return m_pageHelper;
}

void FakeBrowserHost::shutdown() {
    FB::BrowserHost::shutdown();
    pumpMainThread();
}

std::size_t FakeBrowserHost::pumpMainThread() {
    std::size_t ran = 0;
    for (;;) {
        QueuedCall call;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_mainThreadQueue.empty()) {
                return ran;
            }
            call = m_mainThreadQueue.front();
            m_mainThreadQueue.pop_front();
        }
        call.first(call.second);
        ++ran;
    }
}

std::size_t FakeBrowserHost::pendingCalls() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_mainThreadQueue.size();
}

std::size_t FakeBrowserHost::runPageTimers() {
    const std::vector<PageTimer> due = std::move(pageTimers);
    pageTimers.clear();
    for (const PageTimer& timer : due) {
        timer.func->Invoke(timer.fname, timer.args);
    }
    return due.size();
}

// The helper's arguments: delay, function or object, argument list and, for
// a method call only, the method's name. Answers the new timer's id.
FB::variant FakeBrowserHost::fileTimer(const FB::VariantList& helperArgs) {
    helperCalls.push_back(helperArgs);
    PageTimer timer{helperArgs.at(0).convert_cast<int>(),
                    helperArgs.at(1).convert_cast<FB::JSObjectPtr>(),
                    helperArgs.at(2).convert_cast<FB::VariantList>(),
                    helperArgs.size() == 4 ? helperArgs[3].convert_cast<std::string>() : ""};
    pageTimers.push_back(timer);
    return static_cast<int>(helperCalls.size()) + 100;
}
