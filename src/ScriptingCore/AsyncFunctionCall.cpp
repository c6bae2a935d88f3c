#include "AsyncFunctionCall.h"

#include "logging.h"

#include <exception>
#include <vector>

namespace FB {

namespace {

// Runs a callback on the browser's main loop, where nothing may escape.
void runContained(_asyncCallData& data) {
    try {
        data.call();
    } catch (const std::exception& e) {
        FBLOG_WARN("BrowserHost", std::string("Main-thread callback failed: ") + e.what());
    } catch (...) {
        FBLOG_WARN("BrowserHost", "Main-thread callback failed");
    }
}

} // namespace

void _asyncCallData::call() {
    void (*const func)(void*) = m_func;
    if (func == nullptr) {
        return;
    }
    m_func = nullptr;
    m_called = true;
    func(m_userData);
}

// The ids wrap around instead of overflowing.
_asyncCallData* AsyncCallManager::makeCallback(void (*func)(void*), void* userData) {
    boost::recursive_mutex::scoped_lock lock(m_callLock);
    m_lastId = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_lastId) + 1u);
    std::unique_ptr<_asyncCallData> data(
        new _asyncCallData(func, userData, m_lastId, shared_from_this()));
    _asyncCallData* const record = data.get();
    m_pendingCalls.emplace(record, std::move(data));
    return record;
}

void AsyncCallManager::call(_asyncCallData* data) {
    std::unique_ptr<_asyncCallData> owned;
    {
        boost::recursive_mutex::scoped_lock lock(m_callLock);
        const Records::iterator found = m_pendingCalls.find(data);
        if (found == m_pendingCalls.end()) {
            return;
        }
        owned = std::move(found->second);
        m_pendingCalls.erase(found);
    }
    runContained(*owned);
}

bool AsyncCallManager::remove(_asyncCallData* data) {
    std::unique_ptr<_asyncCallData> owned;
    boost::recursive_mutex::scoped_lock lock(m_callLock);
    const Records::iterator found = m_pendingCalls.find(data);
    if (found == m_pendingCalls.end()) {
        return false;
    }
    owned = std::move(found->second);
    m_pendingCalls.erase(found);
    return true;
}

// The records move to the canceled set under the lock; they run after it is
// released, each once, whatever the others do.
void AsyncCallManager::shutdown() {
    // A callback run below may drop the last other reference to the manager.
    const boost::shared_ptr<AsyncCallManager> self = shared_from_this();
    std::vector<_asyncCallData*> due;
    {
        boost::recursive_mutex::scoped_lock lock(m_callLock);
        for (Records::value_type& entry : m_pendingCalls) {
            due.push_back(entry.first);
            m_canceledCalls.insert(std::move(entry));
        }
        m_pendingCalls.clear();
    }
    for (_asyncCallData* data : due) {
        runContained(*data);
    }
}

void asyncCallWrapper(void* data) {
    try {
        _asyncCallData* const record = static_cast<_asyncCallData*>(data);
        if (const boost::shared_ptr<AsyncCallManager> manager = record->manager()) {
            manager->call(record);
        }
    } catch (...) {
        FBLOG_WARN("BrowserHost", "Main-thread callback failed");
    }
}

} // namespace FB
