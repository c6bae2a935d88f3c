#pragma once

// Sinks and a window for the tests of the event mechanism and of the
// plug-in core.

#include "PluginEvent.h"
#include "PluginEventSink.h"
#include "PluginEventSource.h"
#include "PluginEvents/AttachedEvent.h"
#include "PluginEvents/StreamEvents.h"
#include "PluginWindow.h"

#include <functional>
#include <string>
#include <vector>

// The name of an event's class, as the tests spell it.
inline std::string eventName(FB::PluginEvent* evt) {
    if (evt->validType<FB::AttachedEvent>()) {
        return "attached";
    }
    if (evt->validType<FB::DetachedEvent>()) {
        return "detached";
    }
    if (evt->validType<FB::StreamCreatedEvent>()) {
        return "created";
    }
    if (evt->validType<FB::StreamOpenedEvent>()) {
        return "opened";
    }
    if (evt->validType<FB::StreamFailedOpenEvent>()) {
        return "failed open";
    }
    if (evt->validType<FB::StreamDataArrivedEvent>()) {
        return "data";
    }
    if (evt->validType<FB::StreamCompletedEvent>()) {
        return "completed";
    }
    if (evt->validType<FB::StreamDestroyedEvent>()) {
        return "destroyed";
    }
    return "other";
}

// Records every event it is offered, with its source, and answers handles;
// onEvent, when set, runs inside each call.
class RecordingSink : public FB::PluginEventSink {
public:
    struct Offer {
        std::string event;
        FB::PluginEventSource* source;
    };

    explicit RecordingSink(const std::string& name = "", std::vector<std::string>* calls = nullptr)
        : name(name), calls(calls) {}

    bool HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* source) override {
        offers.push_back({eventName(evt), source});
        if (calls) {
            calls->push_back(name);
        }
        if (onEvent) {
            onEvent(evt, source);
        }
        return handles;
    }

    std::vector<std::string> events() const {
        std::vector<std::string> names;
        for (const Offer& offer : offers) {
            names.push_back(offer.event);
        }
        return names;
    }

    std::string name;
    std::vector<std::string>* calls;
    bool handles = false;
    std::function<void(FB::PluginEvent*, FB::PluginEventSource*)> onEvent;
    std::vector<Offer> offers;
};

// A window at a fixed place; it draws nothing.
class TestWindow : public FB::PluginWindow {
public:
    TestWindow(std::int32_t x = 0, std::int32_t y = 0, std::uint32_t width = 0,
               std::uint32_t height = 0)
        : x(x), y(y), width(width), height(height) {}

    void InvalidateWindow() const override {}
    FB::Rect getWindowPosition() const override {
        return FB::Rect{y, x, y + static_cast<std::int32_t>(height),
                        x + static_cast<std::int32_t>(width)};
    }
    std::uint32_t getWindowWidth() const override { return width; }
    std::uint32_t getWindowHeight() const override { return height; }
    FB::Rect getWindowClipping() const override { return getWindowPosition(); }

    std::int32_t x;
    std::int32_t y;
    std::uint32_t width;
    std::uint32_t height;
};
