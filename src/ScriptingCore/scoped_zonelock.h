#pragma once

// FB::scoped_zonelock: enters a security zone on a script object for the
// length of a scope. Building it pushes the zone (and so holds the object's
// zone mutex); destroying it pops the zone, also when an exception leaves the
// scope. Built from a shared pointer, it also keeps the object alive until
// the zone is popped.

#include "APITypes.h"

#include <boost/noncopyable.hpp>

namespace FB {

class scoped_zonelock : private boost::noncopyable {
public:
    // A null object makes the guard do nothing.
    scoped_zonelock(JSAPI* api, const int& zone);
    scoped_zonelock(const JSAPIPtr& api, const int& zone);
    ~scoped_zonelock();

private:
    void lock(const int& zone) const;

    JSAPI* m_api;
    JSAPIPtr m_ref;
};

} // namespace FB
