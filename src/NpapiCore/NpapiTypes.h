#pragma once

// Shared pieces of the NPAPI binding: the copy of the browser's function
// table, the calls through an entry of that table that the browser may have
// left out, and the lock of a weak pointer that must not have expired.

#include <NPAPI.h>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <typeinfo>
#include <utility>

namespace FB {
namespace Npapi {

// Copies the browser's table into dst, entry by entry: an entry is copied
// only when the browser's NPAPI version has it and the browser's table is
// large enough (its size) to hold it; the others keep what dst held. The
// thread-asynchronous entry is always the module's own scheduler. A NULL
// source copies nothing but the scheduler. instance is not used.
void copyNPBrowserFuncs(NPNetscapeFuncs* dstFuncs, const NPNetscapeFuncs* srcFuncs, NPP instance);

// The browser's answer through entry, or fallback when the browser has no
// such entry.
template <class Entry, class Result, class... Args>
Result callOr(Entry entry, Result fallback, Args&&... args) {
    return entry ? static_cast<Result>(entry(std::forward<Args>(args)...)) : fallback;
}

// Calls entry when the browser has it.
template <class Entry, class... Args> void callIfPresent(Entry entry, Args&&... args) {
    if (entry) {
        entry(std::forward<Args>(args)...);
    }
}

// The object a weak pointer watches; std::bad_cast once it is gone, which the
// binding's callbacks answer with a quiet failure.
template <class T> boost::shared_ptr<T> lockOrBadCast(const boost::weak_ptr<T>& watched) {
    const boost::shared_ptr<T> object = watched.lock();
    if (!object) {
        throw std::bad_cast();
    }
    return object;
}

} // namespace Npapi
} // namespace FB
