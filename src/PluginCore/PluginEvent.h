#pragma once

// FB::PluginEvent: the root of every event that travels from an event
// source to its sinks. Events are plain values built by the sender, usually
// on its stack; a sink never keeps one.

#include <typeinfo>

namespace FB {

class PluginEvent {
public:
    virtual ~PluginEvent() = default;

    // Whether the event is a T or derives from one.
    template <class T> bool validType() const { return dynamic_cast<const T*>(this) != nullptr; }

    // The event as a T; raises std::bad_cast when it is not one.
    template <class T> T* get() { return &dynamic_cast<T&>(*this); }
};

} // namespace FB
