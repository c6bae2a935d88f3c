// The common base of the stand-in's CoreFoundation objects and their registry.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <string>

struct CFRuntimeObject {
    CFRuntimeObject() = default;
    CFRuntimeObject(const CFRuntimeObject&) = delete;
    CFRuntimeObject& operator=(const CFRuntimeObject&) = delete;
    virtual ~CFRuntimeObject() = default;

    std::atomic<long> references{1};
    bool immortal = false;
};

namespace cfruntime {

// Registers a new object under the address its callers will hold, so that
// CFRelease can tell live objects from anything else.
void track(const void* address, CFRuntimeObject* object);

template <class T, class... Args> T* create(Args&&... args) {
    T* object = new T(std::forward<Args>(args)...);
    track(object, object);
    return object;
}

// An object that lives for the process; CFRelease leaves it alone.
template <class T, class... Args> T* createConstant(Args&&... args) {
    T* object = create<T>(std::forward<Args>(args)...);
    object->immortal = true;
    return object;
}

} // namespace cfruntime

struct CFStringObject : CFRuntimeObject {
    explicit CFStringObject(std::string text) : utf8(std::move(text)) {}
    std::string utf8;
};

CFStringRef makeConstantString(const char* text);
