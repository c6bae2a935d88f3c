#include "OneShotManager.h"

#include "NpapiTypes.h"

#include <Foundation/Foundation.h>

// The object that receives the dispatch on the main run loop.
class OneShotManagerHelper : public NSObject {
public:
    void setManager(FB::OneShotManager* manager) { m_manager = manager; }
    FB::OneShotManager* manager() const { return m_manager; }

    void shoot(id) {
        if (m_manager) {
            m_manager->npp_asyncCallback();
        }
    }

private:
    FB::OneShotManager* m_manager = nullptr;
};

namespace FB {

OneShotManager& OneShotManager::getInstance() {
    static OneShotManager manager;
    return manager;
}

OneShotManager::OneShotManager() : m_helper(nullptr), m_pending(0) {
    m_helper = new OneShotManagerHelper();
    m_helper->setManager(this);
}

// A dispatch still posted keeps the helper alive; it must find no manager.
OneShotManager::~OneShotManager() {
    m_helper->setManager(nullptr);
    m_helper->release();
}

void OneShotManager::npp_register(void* npp) {
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_queues.find(npp) == m_queues.end()) {
        m_queues[npp].reset(new std::deque<Call>());
    }
}

void OneShotManager::npp_unregister(void* npp) {
    boost::mutex::scoped_lock lock(m_mutex);
    const auto found = m_queues.find(npp);
    if (found != m_queues.end()) {
        m_pending -= static_cast<std::uint32_t>(found->second->size());
        m_queues.erase(found);
    }
}

void OneShotManager::npp_scheduleAsyncCallback(void* npp, Callback func, void* userData) {
    boost::mutex::scoped_lock lock(m_mutex);
    const auto found = m_queues.find(npp);
    if (found == m_queues.end()) {
        return;
    }
    found->second->push_back(Call(userData, func));
    if (m_pending == 0) {
        m_helper->performSelectorOnMainThread(&OneShotManagerHelper::shoot, nil, NO);
    }
    ++m_pending;
}

bool OneShotManager::npp_nextCallback(Call& out) {
    boost::mutex::scoped_lock lock(m_mutex);
    for (auto& entry : m_queues) {
        std::deque<Call>& queue = *entry.second;
        if (!queue.empty()) {
            out = queue.front();
            queue.pop_front();
            --m_pending;
            return true;
        }
    }
    return false;
}

// The lock is not held while a call runs: it may schedule further calls or
// register and unregister instances. A call that raises is logged and the
// drain goes on, so the queue never stalls with calls left and none posted.
void OneShotManager::npp_asyncCallback() {
    Call call;
    while (npp_nextCallback(call)) {
        Npapi::exceptionBarrier("One-shot call", [&] { call.second(call.first); });
    }
}

} // namespace FB
