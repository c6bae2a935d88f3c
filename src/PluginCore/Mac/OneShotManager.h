#pragma once

// FB::OneShotManager: the process's queue of calls for the browser's main
// thread, one queue per plug-in instance. A call for an instance that is
// not registered is dropped. A queued call gets one dispatch posted to the
// main run loop; a dispatch runs queued calls one at a time, always the next
// of the lowest instance key, until every queue is empty.

#include <boost/noncopyable.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <utility>

class OneShotManagerHelper;

namespace FB {

class OneShotManager : private boost::noncopyable {
public:
    typedef void (*Callback)(void*);
    typedef std::pair<void*, Callback> Call;

    static OneShotManager& getInstance();

    ~OneShotManager();

    // Main thread: an instance's queue lives from its registration to its
    // unregistration, which drops the calls still in it.
    void npp_register(void* npp);
    void npp_unregister(void* npp);
    // Any thread.
    void npp_scheduleAsyncCallback(void* npp, Callback func, void* userData);
    // The next queued call into out; false when every queue is empty.
    bool npp_nextCallback(Call& out);
    // Main thread: the dispatch; runs queued calls until none is left. A
    // call that raises does not stop the others.
    void npp_asyncCallback();

private:
    OneShotManager();

    boost::mutex m_mutex;
    std::map<void*, std::unique_ptr<std::deque<Call>>> m_queues;
    OneShotManagerHelper* m_helper;
    std::uint32_t m_pending;
};

} // namespace FB
