#pragma once

// What the binding's tests share: a page in the test browser with one
// instance and a host bound to it as an instance's creation binds it, and a
// script object with members of every kind.

#include "JSAPIAuto.h"
#include "JSExceptions.h"
#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"
#include "NpapiFakes.h"
#include "NpapiPluginModule.h"

#include <testbrowser/Browser.h>

#include <NPAPI.h>

#include <gtest/gtest.h>

#include <boost/shared_ptr.hpp>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace npapitest {

// A script object: "concat" joins two strings, "echo" answers its argument,
// "fail" raises a script error with its argument's text, "failPlain" a
// std::runtime_error, "failOther" an exception of no standard class, "fire"
// fires "onping" with its arguments; "name" is a read-write property.
class TestAPI : public FB::JSAPIAuto {
public:
    TestAPI();

    std::string concat(const std::string& a, const std::string& b) { return a + b; }
    FB::variant echo(const FB::variant& value) { return value; }
    void fail(const std::string& text) { throw FB::script_error(text); }
    void failPlain() { throw std::runtime_error("plain failure"); }
    void failOther() { throw 42; }
    void fire(const FB::variant& value) { FireEvent("onping", FB::VariantList{value}); }
    std::string getName() { return m_name; }
    void setName(const std::string& name) { m_name = name; }

    int shutdowns = 0;
    void shutdown() override { ++shutdowns; }

private:
    std::string m_name = "test";
};

// The page's HTML; the element "plugin" stands for the plug-in's own element.
extern const char* const defaultPage;

// A page with one instance ("plugin") whose host is made and bound as
// NPP_New makes it; the instance is registered for main-thread calls. At
// the end the host is shut down, the page closed, and the browser must have
// every memory block and every NPObject back.
class BrowserFixture : public ::testing::Test {
protected:
    explicit BrowserFixture(testbrowser::BrowserOptions options = {},
                            std::string html = defaultPage);

    void SetUp() override;
    void TearDown() override;

    // Makes and binds a host for the instance, registered for main-thread calls.
    FB::Npapi::NpapiBrowserHostPtr makeHost(NPP instance);
    void dropHost(FB::Npapi::NpapiBrowserHostPtr& host, NPP instance);

    // The value of a script expression in the page, owned by the caller.
    NPVariant evaluate(const std::string& script);
    // The value of a script expression as the binding reads it.
    FB::variant pageValue(const std::string& script);
    // A script object's NPObject as the page would get it, reachable from
    // the page as the global variable name.
    NPObject* expose(const FB::JSAPIPtr& api, const std::string& name);
    NPIdentifier id(const std::string& name);
    // Runs the main loop until done() or the limit of real time.
    bool runUntil(const std::function<bool()>& done);
    // Any thread: wakes the main loop, so that runUntil looks at done() again.
    static void wakeMainLoop();

    testbrowser::Browser browser;
    FB::Npapi::NpapiPluginModule module;
    std::string html;
    testbrowser::Page* page = nullptr;
    NPP npp = nullptr;
    FB::Npapi::NpapiBrowserHostPtr host;
    // Checked at the end: set false by tests that leave things on purpose.
    bool expectClean = true;
};

std::string text(const NPVariant& value);

// The text of the exception the call raises.
std::string messageOf(const std::function<void()>& call);

} // namespace npapitest
