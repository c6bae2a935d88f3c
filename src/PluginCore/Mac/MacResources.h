#pragma once

// Owners of what the macOS frameworks hand out: a reference to an object of
// the object runtime, a CoreFoundation or CoreGraphics object, and an
// autorelease pool for the length of a scope. Each gives its resource back
// in its destructor, so no path releases by hand.

#include <Foundation/Foundation.h>

#include <memory>

namespace FB {
namespace Mac {

struct ObjectReleaser {
    void operator()(NSObject* object) const { object->release(); }
};

// One reference to an object of the object runtime.
template <class T> using OwnedObject = std::unique_ptr<T, ObjectReleaser>;

template <auto Release> struct Releaser {
    template <class T> void operator()(T* object) const { Release(object); }
};

// A framework object given back with the framework's release function.
template <class T, auto Release> using Owned = std::unique_ptr<T, Releaser<Release>>;

// Objects autoreleased while it lives are released when it goes.
class AutoreleasePool {
public:
    AutoreleasePool() : m_pool(new NSAutoreleasePool()) {}
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

private:
    OwnedObject<NSAutoreleasePool> m_pool;
};

} // namespace Mac
} // namespace FB
