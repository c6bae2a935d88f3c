#pragma once

// FB::SafeQueue: a first-in first-out queue that any thread may push to and
// drain. The lock is held only while one element goes in or comes out,
// never while an element is used.

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <queue>

namespace FB {

template <typename T> class SafeQueue {
public:
    void push(const T& value) {
        {
            boost::mutex::scoped_lock lock(m_mutex);
            m_queue.push(value);
        }
        m_condition.notify_one();
    }

    // The oldest element into out; false, with out unchanged, when the queue
    // is empty.
    bool try_pop(T& out) {
        boost::mutex::scoped_lock lock(m_mutex);
        if (m_queue.empty()) {
            return false;
        }
        out = m_queue.front();
        m_queue.pop();
        return true;
    }

private:
    std::queue<T> m_queue;
    boost::mutex m_mutex;
    boost::condition_variable m_condition;
};

} // namespace FB
