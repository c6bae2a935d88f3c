#pragma once

// The life of a browser stream, reported by the stream itself, which is
// also the event's source. The stream is borrowed for the dispatch.

#include "PluginEvent.h"

#include <cstddef>

namespace FB {

class BrowserStream;

class StreamEvent : public PluginEvent {
public:
    explicit StreamEvent(BrowserStream* stream) : m_stream(stream) {}

    BrowserStream* m_stream;
};

class StreamCreatedEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamDestroyedEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamOpenedEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamFailedOpenEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

// length bytes just received, valid during the dispatch only, starting at
// position within the stream; progress is the percentage received so far,
// 0 while the stream's length is unknown.
class StreamDataArrivedEvent : public StreamEvent {
public:
    StreamDataArrivedEvent(BrowserStream* stream, const void* data, std::size_t length,
                           std::size_t position, float progress)
        : StreamEvent(stream), m_data(data), m_length(length), m_position(position),
          m_progress(progress) {}

    const void* getData() const { return m_data; }
    std::size_t getLength() const { return m_length; }
    std::size_t getDataPosition() const { return m_position; }

    const void* m_data;
    std::size_t m_length;
    std::size_t m_position;
    float m_progress;
};

class StreamCompletedEvent : public StreamEvent {
public:
    StreamCompletedEvent(BrowserStream* stream, bool success)
        : StreamEvent(stream), m_success(success) {}

    bool m_success;
};

} // namespace FB
