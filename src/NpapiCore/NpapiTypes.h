#pragma once

// Shared pieces of the NPAPI binding: the copy of the browser's function
// table, the calls through an entry of that table that the browser may have
// left out, the lock of a weak pointer that must not have expired, the key
// of the calling image, the module's frames on a thread and the exception
// barrier of the module's entry points.

#include <NPAPI.h>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <stdexcept>
#include <string>
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

// A plug-in object that cannot be made for the browser's request: NPP_New
// answers it with NPERR_INCOMPATIBLE_VERSION_ERROR.
class PluginCreateError : public std::runtime_error {
public:
    explicit PluginCreateError(const std::string& what) : std::runtime_error(what) {}
};

// The load address of the image that holds returnAddress: the key under
// which the entry points find the module of the image that called them.
// NULL when the loader cannot tell.
const void* callerImage(const void* returnAddress);

// Logs the exception being handled as the failure of where. Throws nothing.
void logFailure(const char* where) noexcept;

// A call of the browser into the module, open on the calling thread while
// it runs. The browser may call in again from inside one (page code that
// the plug-in called, say), and the frames of the outer calls keep what
// they hold until they return.
class EntryFrame : private boost::noncopyable {
public:
    EntryFrame() noexcept;
    // The outermost frame's end logs each object expected released that is
    // still alive.
    ~EntryFrame();

    // True inside a frame opened within another one.
    static bool nested() noexcept;
    // The object must be gone once the thread's outermost frame has ended;
    // check names the expectation in the log.
    static void expectReleased(const boost::weak_ptr<void>& object, const char* check);
};

// Runs body inside an entry point the browser calls: an exception that
// would leave it is logged and the entry point answers failure instead.
template <class Result, class Body>
Result exceptionBarrier(const char* entry, Result failure, const Body& body) noexcept {
    const EntryFrame frame;
    try {
        return body();
    } catch (...) {
        logFailure(entry);
    }
    return failure;
}

template <class Body> void exceptionBarrier(const char* entry, const Body& body) noexcept {
    const EntryFrame frame;
    try {
        body();
    } catch (...) {
        logFailure(entry);
    }
}

} // namespace Npapi
} // namespace FB
