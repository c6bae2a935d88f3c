// Pages without a module: the page's script engine, its DOM, timers and errors.
#include <testbrowser/Browser.h>

#include <duktape.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace testbrowser;

namespace {

TEST(Page, ScriptsRunInMarkupOrderAndConsoleLinesAreKept) {
    Browser browser;
    Page& page = browser.openPage(R"JS(<html><body>
        <div id="box" class="wide"></div>
        <script>console.log("first", 1 + 1, document.getElementById("box").getAttribute("class"));</script>
        <p>text</p>
        <script>console.log("second", document.getElementById("none"), typeof window.console);</script>
        </body></html>)JS");
    EXPECT_EQ(browser.consoleLines(),
              (std::vector<std::string>{"first 2 wide", "second null object"}));
    EXPECT_EQ(page.eval("document.getElementById('box').getAttribute('id')"), "box");
    EXPECT_TRUE(browser.pageErrors().empty());
}

TEST(Page, UncaughtExceptionsArePageErrorsAndLaterScriptsStillRun) {
    Browser browser;
    browser.openPage(
        "<script>throw new Error('broken');</script><script>console.log('ran');</script>");
    EXPECT_EQ(browser.pageErrors(), (std::vector<std::string>{"Error: broken"}));
    EXPECT_EQ(browser.consoleLines(), (std::vector<std::string>{"ran"}));
}

TEST(Page, TimeoutsRunInDueOrderOnTheVirtualClockAndCanBeCleared) {
    Browser browser;
    Page& page = browser.openPage(R"JS(<script>
        setTimeout(function (a, b) { console.log("250", a, b); }, 250, "x", "y");
        setTimeout(function () { console.log("0"); });
        var cleared = setTimeout(function () { console.log("never"); }, 100);
        setTimeout("console.log('text 100')", 100);
        clearTimeout(cleared);
        setTimeout(function () { throw new Error("in a timer"); }, 300);
        </script>)JS");
    EXPECT_TRUE(browser.consoleLines().empty());
    browser.runFor(200ms);
    EXPECT_EQ(browser.consoleLines(), (std::vector<std::string>{"0", "text 100"}));
    EXPECT_TRUE(browser.runUntilIdle(10s));
    EXPECT_EQ(browser.consoleLines().back(), "250 x y");
    EXPECT_EQ(browser.pageErrors(), (std::vector<std::string>{"Error: in a timer"}));
    EXPECT_THROW(page.eval("setTimeout(42)"), std::runtime_error);
}

TEST(Page, EvalGivesTheResultOrRaisesTheScriptsError) {
    Browser browser;
    Page& page = browser.openPage("<p></p>");
    EXPECT_EQ(page.eval("'caf\\u00e9 ' + String.fromCharCode(0xD83D, 0xDE00).length"),
              "caf\xC3\xA9 2");
    EXPECT_EQ(page.eval("'\xF0\x9F\x98\x80'.length"), "2");
    try {
        page.eval("undefinedFunction()");
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("ReferenceError"), std::string::npos);
    }
    EXPECT_TRUE(browser.pageErrors().empty());
}

// The stack of the page's heap is as it was after each call, so that a long
// run of calls does not pile values up.
TEST(Page, CallRunsAPageFunctionOrRaisesTheErrorOfTheCallOrOfItsLookup) {
    Browser browser;
    Page& page = browser.openPage(R"JS(<script>
        var calls = 0;
        function next() { return 'caf\u00e9 ' + ++calls; }
        function broken() { throw new Error('broken'); }
        Object.defineProperty(window, 'trapped', { get: function () { throw new Error('lookup'); } });
        </script>)JS");
    const duk_idx_t top = duk_get_top(page.context());
    EXPECT_EQ(page.call("next"), "caf\xC3\xA9 1");
    EXPECT_EQ(page.call("next"), "caf\xC3\xA9 2");
    const std::vector<std::pair<std::string, std::string>> failures = {
        {"broken", "Error: broken"}, {"trapped", "Error: lookup"}, {"missing", "TypeError"}};
    for (const auto& [function, message] : failures) {
        try {
            page.call(function);
            ADD_FAILURE() << function;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(duk_get_top(page.context()), top);
    EXPECT_EQ(page.eval("calls"), "2");
    EXPECT_TRUE(browser.pageErrors().empty());
}

TEST(Page, OnlyOneBrowserAtATime) {
    Browser browser;
    EXPECT_THROW(Browser second, std::logic_error);
    EXPECT_EQ(Browser::current(), &browser);
}

} // namespace
