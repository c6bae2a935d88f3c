#include "JSAPIImpl.h"

#include <boost/enable_shared_from_this.hpp>
#include <cassert>
#include <stdexcept>

namespace FB {

typedef boost::recursive_mutex::scoped_lock ZoneLock;

JSAPIImpl::JSAPIImpl() : JSAPIImpl(0) {}

JSAPIImpl::JSAPIImpl(const int& zone) : m_zoneStack(1, zone), m_valid(true) {}

void JSAPIImpl::invalidate() {
    m_valid = false;
}

void JSAPIImpl::pushZone(const int& zone) {
    m_zoneMutex.lock();
    m_zoneStack.push_back(zone);
}

// Every entry above the default one was pushed by the thread that holds the
// mutex, one lock level each. A thread that cannot take the mutex therefore
// pushed nothing, and a stack holding only the default entry has nothing to
// pop: both are refused before the stack or the mutex changes.
void JSAPIImpl::popZone() {
    if (!m_zoneMutex.try_lock()) {
        throw std::runtime_error("popZone without a pushZone on this thread");
    }
    ZoneLock probe(m_zoneMutex, boost::adopt_lock);
    if (m_zoneStack.size() < 2) {
        throw std::runtime_error("popZone would remove the default zone");
    }
    m_zoneStack.pop_back();
    m_zoneMutex.unlock();
}

void JSAPIImpl::setDefaultZone(const int& zone) {
    ZoneLock lock(m_zoneMutex);
    assert(!m_zoneStack.empty());
    m_zoneStack.front() = zone;
}

int JSAPIImpl::getDefaultZone() const {
    ZoneLock lock(m_zoneMutex);
    assert(!m_zoneStack.empty());
    return m_zoneStack.front();
}

int JSAPIImpl::getZone() const {
    ZoneLock lock(m_zoneMutex);
    assert(!m_zoneStack.empty());
    return m_zoneStack.back();
}

boost::shared_ptr<JSAPIImpl> JSAPIImpl::shared_from_this() {
    return boost::static_pointer_cast<JSAPIImpl>(
        boost::enable_shared_from_this<JSAPI>::shared_from_this());
}

} // namespace FB
