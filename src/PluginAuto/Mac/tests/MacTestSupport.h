#pragma once

// What the macOS layer's tests share: a text for every event the layer
// sends, a sink that records those texts, the factory, and a page in the
// test browser with one instance and a host bound to it as NPP_New binds it.

#include "FactoryBase.h"
#include "NpapiBrowserHost.h"
#include "NpapiPluginModule.h"
#include "PluginCore.h"
#include "PluginEventSink.h"

#include <testbrowser/Browser.h>

#include <gtest/gtest.h>

#include <boost/weak_ptr.hpp>
#include <functional>
#include <string>
#include <vector>

namespace mactest {

// The event's class and fields, e.g. "down left 10 20 state 1".
std::string describe(FB::PluginEvent* evt);

// An NPWindow with the position, size and clip rectangle, and no window
// pointer.
NPWindow geometry(std::int32_t x, std::int32_t y, std::uint32_t width, std::uint32_t height,
                  NPRect clip = NPRect{0, 0, 0, 0});

// Records every event but attach and detach; handles what handles() accepts.
class EventLog : public FB::PluginEventSink {
public:
    bool HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource* source) override;

    std::vector<std::string> seen;
    std::function<bool(FB::PluginEvent*)> handles;
};

// A plug-in core with no script object of its own that records the events
// its window sends it, attach and detach included.
class TestCore : public FB::PluginCore {
public:
    FB::JSAPIPtr createJSAPI() override { return FB::JSAPIPtr(); }
    bool HandleEvent(FB::PluginEvent* evt, FB::PluginEventSource*) override {
        seen.push_back(describe(evt));
        return false;
    }

    std::string path() const { return m_filesystemPath; }
    static std::string platform() { return OS + " " + Browser; }

    std::vector<std::string> seen;
};

class TestFactory : public FB::FactoryBase {
public:
    boost::shared_ptr<FB::PluginCore> createPlugin(const std::string& mimetype) override;

    // The cores made, while they live; the last is the newest.
    std::vector<boost::weak_ptr<TestCore>> cores;
    // What FB::pluginGuiEnabled answers.
    bool guiEnabled = false;
};

// The factory getFactoryInstance answers.
boost::shared_ptr<TestFactory> testFactory();

// A page with one instance ("plugin") and its host, registered for
// main-thread calls. When it goes the host is shut down, the page closed,
// and the browser must have every memory block and NPObject back.
class MacPage {
public:
    explicit MacPage(testbrowser::BrowserOptions options = {});
    ~MacPage();
    MacPage(const MacPage&) = delete;
    MacPage& operator=(const MacPage&) = delete;

    testbrowser::Browser browser;
    FB::Npapi::NpapiPluginModule module;
    testbrowser::Page* page = nullptr;
    NPP npp = nullptr;
    FB::Npapi::NpapiBrowserHostPtr host;
};

class MacFixture : public ::testing::Test, public MacPage {
protected:
    using MacPage::MacPage;
};

} // namespace mactest
