#pragma once

// A plug-in core for tests: its root script object is a stub, and it
// records the events its windows send it.

#include "PluginCore.h"
#include "TestObjects.h"
#include "TestSinks.h"

#include <boost/make_shared.hpp>
#include <string>
#include <vector>

class TestCore : public FB::PluginCore {
public:
    FB::JSAPIPtr createJSAPI() override {
        ++createdScriptObjects;
        return boost::make_shared<StubScriptObject>();
    }

    bool HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* source) override {
        events.push_back({eventName(evt), source});
        return false;
    }

    void onPluginReady() override { ++readyHooks; }

    std::string filesystemPath() const { return m_filesystemPath; }

    int createdScriptObjects = 0;
    int readyHooks = 0;
    std::vector<RecordingSink::Offer> events;
};
