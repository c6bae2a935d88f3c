// The first instance of the process decides whether the module keeps the
// browser's thread-asynchronous entry in its own table: an older browser's
// is dropped. The decision stays for the process, so this program makes
// its first instance here.

#include "NpapiFakes.h"
#include "NpapiPluginModule.h"
#include "NpapiTypes.h"

#include <testbrowser/Browser.h>

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

void anyFunctionOfThisProgram() {}

// The module of this program's image, which calls the entry points.
FB::Npapi::NpapiPluginModule& moduleOfThisProgram() {
    return *FB::Npapi::NpapiPluginModule::GetModule(
        FB::Npapi::callerImage(reinterpret_cast<const void*>(&anyFunctionOfThisProgram)));
}

// Makes an instance in a browser of the NPAPI version; true when the
// instance still gets its calls onto the main thread.
bool instanceRunsMainThreadCalls(uint16_t version, bool& moduleKeepsEntry) {
    testbrowser::BrowserOptions options;
    options.version = version;
    options.mimeType = npapitest::testMimeType;
    testbrowser::Browser browser(options);
    browser.loadModule(
        testbrowser::ModuleEntryPoints{&NP_GetEntryPoints, &NP_Initialize, &NP_Shutdown});
    testbrowser::Page& page =
        browser.openPage(std::string("<html><body><object id='p' type='") +
                         npapitest::testMimeType + "'></object></body></html>");
    moduleKeepsEntry = moduleOfThisProgram().NPNFuncs.pluginthreadasynccall != nullptr;
    page.eval("document.getElementById('p').burst(1, 1)");
    return browser.runUntil(
        [&] { return page.eval("document.getElementById('p').mainThreadCalls") == "0:0"; }, 1s);
}

TEST(FirstInstance, DecidesForTheProcessAboutTheModulesOwnEntry) {
    bool moduleKeepsEntry = true;
    EXPECT_TRUE(instanceRunsMainThreadCalls(18, moduleKeepsEntry));
    EXPECT_FALSE(moduleKeepsEntry) << "a version 18 browser's first instance drops it";
    EXPECT_TRUE(instanceRunsMainThreadCalls(27, moduleKeepsEntry));
    EXPECT_FALSE(moduleKeepsEntry) << "the first answer stays";
}

} // namespace
