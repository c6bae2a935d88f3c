// The browser with a module loaded from its shared library: the echo module.
#include <testbrowser/Browser.h>
#include <testbrowser/CocoaEvent.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <optional>

using namespace std::chrono_literals;
using namespace testbrowser;

namespace {

const char* const kEchoPage = R"JS(<html><body>
<object id="echo" type="application/x-velmora" width="300" height="200" data-x="1">
    <param name="onload" value="loaded">
    <param name="color" value="blue">
</object>
<object id="other" type="application/x-other"></object>
</body></html>)JS";

std::string takeEntryLog() {
    void* module = dlopen(ECHO_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return "(not loaded)";
    auto take = reinterpret_cast<const char* (*)()>(dlsym(module, "EchoModule_takeLog"));
    std::string log = take ? take() : "(no log)";
    dlclose(module);
    return log;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        browser.loadModule(ECHO_MODULE);
        takeEntryLog();
        page = &browser.openPage(kEchoPage);
        echo = page->instance("echo");
        ASSERT_NE(echo, nullptr);
    }

    Browser browser;
    Page* page = nullptr;
    PluginInstance* echo = nullptr;
};

TEST(ModuleLoading, EntryPointsInEitherOrderAndShutdownAtTheEnd) {
    for (EntryOrder order : {EntryOrder::GetEntryPointsFirst, EntryOrder::InitializeFirst}) {
        {
            Browser browser;
            browser.loadModule(ECHO_MODULE, order);
            EXPECT_EQ(takeEntryLog(), order == EntryOrder::GetEntryPointsFirst
                                          ? "NP_GetEntryPoints;NP_Initialize;"
                                          : "NP_Initialize;NP_GetEntryPoints;");
            EXPECT_NE(browser.module()->pluginFunctions().newp, nullptr);
            EXPECT_EQ(browser.module()->pluginFunctions().size, sizeof(NPPluginFuncs));
            // Keep the library mapped past the browser so the log can still be read.
            dlopen(ECHO_MODULE, RTLD_NOW);
        }
        EXPECT_EQ(takeEntryLog(), "NP_Shutdown;");
        dlclose(dlopen(ECHO_MODULE, RTLD_NOW | RTLD_NOLOAD));
        void* stillThere = dlopen(ECHO_MODULE, RTLD_NOW | RTLD_NOLOAD);
        if (stillThere) {
            dlclose(stillThere);
            dlclose(stillThere);
        }
    }
}

TEST(ModuleLoading, AMissingLibraryOrEntryPointIsReported) {
    Browser browser;
    EXPECT_THROW(browser.loadModule("/nonexistent/libNothing.so"), std::runtime_error);
    EXPECT_THROW(browser.loadModule("libc.so.6"), std::runtime_error);
}

TEST_F(ModuleTest, ObjectsOfTheModulesTypeBecomeInstancesWithTheirArgumentsInMarkupOrder) {
    EXPECT_EQ(page->instances().size(), 1u);
    EXPECT_EQ(echo->newResult(), NPERR_NO_ERROR);
    using Args = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(echo->arguments(), (Args{{"id", "echo"},
                                       {"type", "application/x-velmora"},
                                       {"width", "300"},
                                       {"height", "200"},
                                       {"data-x", "1"},
                                       {"onload", "loaded"},
                                       {"color", "blue"}}));
    EXPECT_EQ(takeEntryLog(), "NPP_New;");
    EXPECT_EQ(page->eval("document.getElementById('echo').windowWidth"), "300");
    EXPECT_EQ(page->eval("document.getElementById('other').tagName"), "OBJECT");
}

TEST_F(ModuleTest, ValuesCrossToTheModuleAndBack) {
    page->eval("var echo = document.getElementById('echo'); var obj = {a: 1};");
    struct Case {
        const char* script;
        const char* expected;
    };
    const Case cases[] = {
        {"echo.echo(42) === 42", "true"},
        {"echo.echo(-2.5)", "-2.5"},
        {"echo.echo('t\\u00e9xt \\ud83d\\ude00').length", "7"},
        {"echo.echo('a\\u0000b').length", "3"},
        {"echo.echo(obj) === obj", "true"},
        {"echo.echo(null) === null", "true"},
        {"echo.echo(undefined) === undefined", "true"},
        {"echo.echo(echo.echo)('nested')", "nested"},
        {"echo(5)", "5"},
        {"typeof echo", "function"},
        {"echo.calls", "10"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(page->eval(c.script), c.expected) << c.script;
}

TEST_F(ModuleTest, PropertiesEnumerationAndExceptions) {
    page->eval("var echo = document.getElementById('echo');");
    EXPECT_EQ(page->eval("echo.value = 'stored'; echo.value"), "stored");
    EXPECT_EQ(page->eval("Object.getOwnPropertyNames(echo).join()"), "echo,value,onecho");
    EXPECT_EQ(page->eval("'echo' in echo && 'value' in echo && !('nothing' in echo)"), "true");
    EXPECT_EQ(page->eval("typeof echo.nothing"), "undefined");
    EXPECT_EQ(page->eval("echo.id + ' ' + echo.getAttribute('color')"), "echo null");
    EXPECT_EQ(page->eval("try { echo.echo(); } catch (e) { e.message }"),
              "echo needs one argument");
    EXPECT_EQ(page->eval("try { echo.calls = 3; } catch (e) { e.message }"), "read-only property");
    EXPECT_EQ(browser.records().exceptionsSet,
              (std::vector<std::string>{"echo needs one argument", "read-only property"}));
    page->evaluate("echo.echo()");
    EXPECT_EQ(browser.pageErrors(), (std::vector<std::string>{"Error: echo needs one argument"}));
}

// for-in and Object.keys list what the plug-in enumerates, on its element
// and on an object it hands to the page; once the instance is gone the
// element lists nothing and has none of those members.
TEST_F(ModuleTest, ForInAndObjectKeysListWhatThePluginEnumerates) {
    page->eval(R"JS(var handed = null;
        function listed(object) {
            var found = [];
            for (var k in object) found.push(k);
            return found.join() + ' / ' + Object.keys(object).join();
        }
        function loaded(plugin) { handed = listed(plugin); })JS");
    EXPECT_EQ(page->eval("listed(document.getElementById('echo'))"),
              "echo,value,onecho / echo,value,onecho");
    EXPECT_TRUE(browser.runUntil([&] { return page->eval("handed !== null") == "true"; }, 1s, 5s));
    EXPECT_EQ(page->eval("handed"), "echo,value,onecho / echo,value,onecho");
    EXPECT_EQ(page->eval("var e = document.body.removeChild(document.getElementById('echo'));"
                         "[listed(e), 'value' in e, typeof e.value, e.tagName].join(' | ')"),
              " /  | false | undefined | OBJECT");
}

// document.body.removeChild takes an element out of the document and, for
// a plug-in's object, destroys the instance within the call.
TEST_F(ModuleTest, RemovingAnObjectElementDestroysItsInstanceAtOnce) {
    takeEntryLog();
    EXPECT_EQ(page->eval("var e = document.getElementById('echo'); var m = e.echo;"
                         "document.body.removeChild(e) === e"),
              "true");
    EXPECT_EQ(takeEntryLog(), "NPP_Destroy;");
    EXPECT_FALSE(echo->alive());
    EXPECT_EQ(echo->destroyResult(), std::optional<NPError>(NPERR_NO_ERROR));
    EXPECT_EQ(page->eval("[document.getElementById('echo'), typeof e.echo].join()"), ",undefined");
    EXPECT_EQ(page->eval("try { m(1); } catch (x) { x.message }"),
              "The plug-in object is no longer valid");
    EXPECT_EQ(page->eval("try { document.body.removeChild(e); } catch (x) { x.message }"),
              "NotFoundError: the element is not in the document");
    EXPECT_EQ(page->eval("document.body.removeChild(document.getElementById('other')).tagName"),
              "OBJECT");
    EXPECT_EQ(takeEntryLog(), "") << "nothing is destroyed twice";
    browser.closePage();
    browser.shutdownModule();
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

TEST_F(ModuleTest, OnloadParameterAndEventsFromAWorkerThread) {
    page->eval(R"JS(var seen = [];
        function loaded(plugin) {
            seen.push('loaded ' + plugin.echo('hi'));
            plugin.onecho = function (text) { seen.push('event ' + text); };
            plugin.echoLater('later');
        })JS");
    EXPECT_TRUE(browser.runUntil([&] { return page->eval("seen.length") == "2"; }, 1s, 5s));
    EXPECT_EQ(page->eval("seen.join()"), "loaded hi,event later");
    EXPECT_EQ(browser.records().asyncCallsRun, 2u);
}

TEST_F(ModuleTest, ModelNegotiationWindowAndEvents) {
    const auto& setValues = browser.records().setValues;
    ASSERT_EQ(setValues.size(), 2u);
    EXPECT_EQ(setValues[0].variable, NPPVpluginDrawingModel);
    EXPECT_EQ(setValues[0].value, NPDrawingModelCoreGraphics);
    EXPECT_EQ(setValues[0].result, NPERR_NO_ERROR);
    EXPECT_EQ(echo->drawingModel(), NPDrawingModelCoreGraphics);
    EXPECT_EQ(echo->eventModel(), NPEventModelCocoa);
    WindowChange change;
    change.width = 640;
    EXPECT_EQ(echo->setWindow(change), NPERR_NO_ERROR);
    EXPECT_EQ(page->eval("document.getElementById('echo').windowWidth"), "640");
    CocoaEvent down = CocoaEvent::mouse(NPCocoaEventMouseDown, 10, 20);
    EXPECT_EQ(echo->sendEvent(down.record()), 1);
    CocoaEvent key = CocoaEvent::key(NPCocoaEventKeyDown, 0, "a");
    EXPECT_EQ(echo->sendEvent(key.record()), 0);
}

TEST(ModuleModels, ARefusedDrawingModelIsRecordedAsRefused) {
    BrowserOptions options;
    options.drawingModels.clear();
    Browser browser(options);
    browser.loadModule(ECHO_MODULE);
    Page& page = browser.openPage(kEchoPage);
    EXPECT_EQ(browser.records().setValues[0].result, NPERR_GENERIC_ERROR);
    EXPECT_EQ(page.instance("echo")->drawingModel(), -1);
}

TEST_F(ModuleTest, UrlRequestsAreRecordedAndAnsweredWithStreams) {
    EXPECT_EQ(page->eval("document.getElementById('echo').request('http://example.test/a')"), "0");
    ASSERT_EQ(browser.records().urlRequests.size(), 1u);
    const UrlRequest request = browser.records().urlRequests[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_TRUE(request.notify);
    StreamDelivery delivery;
    delivery.body = "0123456789";
    StreamOutcome outcome = echo->respond(request, delivery);
    EXPECT_EQ(outcome.newStreamResult, NPERR_NO_ERROR);
    EXPECT_EQ(outcome.bytesTaken, 10u);
    EXPECT_EQ(outcome.writeAnswers, (std::vector<int32_t>{4, 4, 2}));
    EXPECT_EQ(page->eval("document.getElementById('echo').received"), "0123456789");
    EXPECT_EQ(page->eval("document.getElementById('echo').lastReason"), "0");
    echo->failRequest(request, NPRES_NETWORK_ERR);
    EXPECT_EQ(page->eval("document.getElementById('echo').lastReason"), "1");
}

TEST_F(ModuleTest, DestroyedInstancesObjectsAreInvalidAndNothingIsLeftAtTheEnd) {
    page->eval("var kept = document.getElementById('echo'); kept.value = {big: [1, 2, 3]};"
               "var method = kept.echo;");
    page->removeInstance(*echo);
    EXPECT_EQ(page->eval("try { method(1); } catch (e) { e.message }"),
              "The plug-in object is no longer valid");
    EXPECT_EQ(page->eval("typeof kept.echo"), "undefined");
    browser.closePage();
    browser.shutdownModule();
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

TEST_F(ModuleTest, MemoryTheModuleKeepsShowsInTheLedger) {
    page->eval("document.getElementById('echo').leak()");
    browser.closePage();
    EXPECT_EQ(browser.ledger().openBlocks(), 1u);
    EXPECT_FALSE(browser.clean());
    EXPECT_EQ(browser.leakReport(), "1 memory blocks (16 bytes) never freed");
}

} // namespace
