#pragma once

// FB::BrowserStreamManager: keeps the streams a browser host opened alive;
// whatever is still open when the manager goes is closed.

#include "BrowserStream.h"

#include <boost/noncopyable.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <set>

namespace FB {

class BrowserStreamManager : private boost::noncopyable {
public:
    ~BrowserStreamManager();

    // A stream retained twice is held once.
    void retainStream(const BrowserStreamPtr& stream);

private:
    std::set<BrowserStreamPtr> m_retainedStreams;
    boost::recursive_mutex m_xtLock;
};

} // namespace FB
