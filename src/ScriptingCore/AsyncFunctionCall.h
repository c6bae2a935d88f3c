#pragma once

// The record of callbacks waiting for the browser's main thread. The
// browser is never handed a caller's function directly: it gets
// asyncCallWrapper and the manager's record, so that whatever is still
// waiting when the host shuts down can be run at once, and whatever the
// browser delivers after that does nothing.

#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>
#include <map>
#include <memory>

namespace FB {

class AsyncCallManager;

// One scheduled callback.
class _asyncCallData : private boost::noncopyable {
public:
    _asyncCallData(void (*func)(void*), void* userData, std::int32_t id,
                   const boost::shared_ptr<AsyncCallManager>& manager)
        : m_func(func), m_userData(userData), m_id(id), m_manager(manager) {}

    // Fires the callback, at most once.
    void call();

    std::int32_t id() const { return m_id; }
    bool called() const { return m_called; }
    // Empty once the manager that made the record is gone.
    boost::shared_ptr<AsyncCallManager> manager() const { return m_manager.lock(); }

private:
    void (*m_func)(void*);
    void* m_userData;
    std::int32_t m_id;
    bool m_called = false;
    boost::weak_ptr<AsyncCallManager> m_manager;
};

class AsyncCallManager : public boost::enable_shared_from_this<AsyncCallManager>,
                         private boost::noncopyable {
public:
    // A new pending record, owned by the manager.
    _asyncCallData* makeCallback(void (*func)(void*), void* userData);
    // Main thread: runs a pending record once and destroys it; a record that
    // is not pending is left alone.
    void call(_asyncCallData* data);
    // Destroys a pending record that will never be delivered. False when the
    // record was no longer pending: shutdown has run it already, so its user
    // data now belongs to the callback.
    bool remove(_asyncCallData* data);
    // Main thread: runs every pending record now. The records stay until the
    // manager is destroyed, so that a late delivery finds them and does
    // nothing.
    void shutdown();

private:
    typedef std::map<_asyncCallData*, std::unique_ptr<_asyncCallData>> Records;

    std::int32_t m_lastId = 1;
    boost::recursive_mutex m_callLock;
    Records m_pendingCalls;
    Records m_canceledCalls;
};

// The function handed to the browser; data is a record of a manager.
void asyncCallWrapper(void* data);

} // namespace FB
