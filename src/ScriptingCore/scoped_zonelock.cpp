#include "scoped_zonelock.h"

#include "JSAPI.h"

namespace FB {

scoped_zonelock::scoped_zonelock(JSAPI* api, const int& zone) : m_api(api) {
    lock(zone);
}

scoped_zonelock::scoped_zonelock(const JSAPIPtr& api, const int& zone)
    : m_api(api.get()), m_ref(api) {
    lock(zone);
}

scoped_zonelock::~scoped_zonelock() {
    if (m_api) {
        m_api->popZone();
    }
}

void scoped_zonelock::lock(const int& zone) const {
    if (m_api) {
        m_api->pushZone(zone);
    }
}

} // namespace FB
