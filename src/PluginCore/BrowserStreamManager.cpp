#include "BrowserStreamManager.h"

namespace FB {

// The streams are closed after the lock is released: closing calls into the
// browser binding.
BrowserStreamManager::~BrowserStreamManager() {
    std::set<BrowserStreamPtr> open;
    {
        boost::recursive_mutex::scoped_lock lock(m_xtLock);
        open.swap(m_retainedStreams);
    }
    for (const BrowserStreamPtr& stream : open) {
        stream->close();
    }
}

void BrowserStreamManager::retainStream(const BrowserStreamPtr& stream) {
    boost::recursive_mutex::scoped_lock lock(m_xtLock);
    m_retainedStreams.insert(stream);
}

} // namespace FB
