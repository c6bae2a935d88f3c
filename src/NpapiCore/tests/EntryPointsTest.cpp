// The module's exported functions and the NPP entry points, linked into the
// test and called by the test browser as it calls a loaded module, so that
// the factory, the log and the counts of live objects can be watched.

#include "BrowserHost.h"
#include "EntryPointCalls.h"
#include "LogCapture.h"
#include "NpapiFakes.h"
#include "NpapiPlugin.h"
#include "NpapiPluginModule.h"
#include "OneShotManager.h"
#include "PluginCore.h"
#include "TestPlugin.h"

#include <testbrowser/Browser.h>

#include <MacStandIn/RunLoop.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/algorithm/string/replace.hpp>
#include <boost/make_shared.hpp>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace npapitest;

namespace {

const testbrowser::ModuleEntryPoints linkedIn{&NP_GetEntryPoints, &NP_Initialize, &NP_Shutdown};

testbrowser::BrowserOptions testOptions() {
    testbrowser::BrowserOptions options;
    options.mimeType = testMimeType;
    return options;
}

std::string pointerText(const void* pointer) {
    std::ostringstream text;
    text << pointer;
    return text.str();
}

// A plug-in object that records the NPP calls it gets and answers each with
// a number of its own; with raising set, every one of them raises. Its
// parameter "raiseAfterInit" makes its initialisation raise at the end.
class RecordingPlugin : public FB::Npapi::NpapiPlugin {
public:
    using NpapiPlugin::NpapiPlugin;

    void init(NPMIMEType pluginType, int16_t argc, char* argn[], char* argv[]) override {
        NpapiPlugin::init(pluginType, argc, argn, argv);
        if (pluginMain->getParam("raiseAfterInit")) {
            throw std::runtime_error("raised after the initialisation");
        }
    }

    NPError SetWindow(NPWindow*) override { return answer("SetWindow", 11); }
    NPError NewStream(NPMIMEType, NPStream*, NPBool, uint16_t*) override {
        return answer("NewStream", 12);
    }
    NPError DestroyStream(NPStream*, NPReason reason) override {
        return answer("DestroyStream " + std::to_string(reason), 13);
    }
    int32_t WriteReady(NPStream*) override { return answer("WriteReady", 14); }
    int32_t Write(NPStream*, int32_t offset, int32_t len, void*) override {
        return answer("Write " + std::to_string(offset) + " " + std::to_string(len), 15);
    }
    void StreamAsFile(NPStream*, const char* fname) override {
        answer(std::string("StreamAsFile ") + fname, 0);
    }
    void Print(NPPrint*) override { answer("Print", 0); }
    int16_t HandleEvent(void*) override { return answer("HandleEvent", 16); }
    void URLNotify(const char* url, NPReason, void*) override {
        answer(std::string("URLNotify ") + url, 0);
    }
    NPError GetValue(NPPVariable variable, void*) override {
        return answer("GetValue " + std::to_string(variable), 17);
    }
    NPError SetValue(NPNVariable variable, void*) override {
        return answer("SetValue " + std::to_string(variable), 18);
    }
    void shutdown() override {
        calls.push_back(m_browserHost->isShutDown() ? "shutdown, host down" : "shutdown");
        NpapiPlugin::shutdown();
        if (onShutdown) {
            onShutdown();
        }
    }

    boost::shared_ptr<TestPluginCore> core() const {
        return boost::static_pointer_cast<TestPluginCore>(pluginMain);
    }

    std::vector<std::string> calls;
    bool raising = false;
    std::function<void()> onShutdown;

private:
    int answer(const std::string& call, int result) {
        if (raising) {
            throw std::runtime_error("raised by the plug-in object");
        }
        calls.push_back(call);
        return result;
    }
};

// The test browser with the linked-in module; the factory's knobs are set
// back at the end.
class EntryPoints : public ::testing::Test {
protected:
    void TearDown() override {
        browser.closePage();
        EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR);
        EXPECT_TRUE(browser.clean()) << browser.leakReport();
        factory->pluginMaker = nullptr;
        factory->makeNoCore = false;
        factory->guiEnabled = false;
    }

    // Plug-in objects are RecordingPlugins from now on.
    void recordPlugins() {
        factory->pluginMaker = [this](const FB::Npapi::NpapiBrowserHostPtr& host,
                                      const std::string& mimetype) {
            const auto made = boost::make_shared<RecordingPlugin>(host, mimetype);
            plugin = made;
            return made;
        };
    }
    // The last one made, while its instance lives.
    RecordingPlugin& recorded() {
        const boost::shared_ptr<RecordingPlugin> alive = plugin.lock();
        if (!alive) {
            throw std::logic_error("no plug-in object alive");
        }
        return *alive;
    }

    testbrowser::PluginInstance& open(const std::string& params = "") {
        page = &browser.openPage(std::string("<html><body><object id='p' type='") + testMimeType +
                                 "'>" + params + "</object></body></html>");
        return *page->instance("p");
    }
    const NPPluginFuncs& entries() { return browser.module()->pluginFunctions(); }

    LogCapture log;
    const boost::shared_ptr<TestFactory> factory = testFactory();
    testbrowser::Browser browser{testOptions()};
    testbrowser::PluginModule& module = browser.loadModule(linkedIn);
    testbrowser::Page* page = nullptr;
    // Weak: the instance's holder alone may own its plug-in object.
    boost::weak_ptr<RecordingPlugin> plugin;
};

TEST_F(EntryPoints, EachEntryPointForwardsToThePluginObjectAndAnswersWhatItAnswers) {
    recordPlugins();
    factory->guiEnabled = true;
    NPP instance = open().npp();
    recorded().calls.clear();
    EXPECT_EQ(callEntryPoints(entries(), instance),
              (std::map<std::string, int>{{"NPP_SetWindow", 11},
                                          {"NPP_NewStream", 12},
                                          {"NPP_DestroyStream", 13},
                                          {"NPP_WriteReady", 14},
                                          {"NPP_Write", 15},
                                          {"NPP_HandleEvent", 16},
                                          {"NPP_GetValue", 17},
                                          {"NPP_SetValue", 18}}));
    EXPECT_EQ(recorded().calls,
              (std::vector<std::string>{"SetWindow", "NewStream", "DestroyStream 1",
                                        "StreamAsFile /tmp/x", "WriteReady", "Write 7 3", "Print",
                                        "HandleEvent", "URLNotify http://example.com/",
                                        "GetValue 1", "SetValue 18"}));
}

// Nothing the plug-in object raises leaves an entry point: it is logged and
// the entry point answers its failure (-1 for a byte count).
TEST_F(EntryPoints, WhatThePluginObjectRaisesEndsAsTheEntryPointsFailure) {
    recordPlugins();
    factory->guiEnabled = true;
    NPP instance = open().npp();
    recorded().raising = true;
    EXPECT_EQ(callEntryPoints(entries(), instance),
              (std::map<std::string, int>{{"NPP_SetWindow", NPERR_GENERIC_ERROR},
                                          {"NPP_NewStream", NPERR_GENERIC_ERROR},
                                          {"NPP_DestroyStream", NPERR_GENERIC_ERROR},
                                          {"NPP_WriteReady", -1},
                                          {"NPP_Write", -1},
                                          {"NPP_HandleEvent", 0},
                                          {"NPP_GetValue", NPERR_GENERIC_ERROR},
                                          {"NPP_SetValue", NPERR_GENERIC_ERROR}}));
    const std::vector<std::string> warnings = log.messages("NPAPI");
    for (const char* entry : {"NPP_StreamAsFile", "NPP_Print", "NPP_URLNotify", "NPP_Write"}) {
        EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                            std::string(entry) + " failed: raised by the plug-in object"),
                  warnings.end())
            << entry;
    }
}

// Without a user interface of the plug-in's own, windows stay with the
// browser.
TEST_F(EntryPoints, WindowsReachThePluginObjectOnlyWithAUserInterface) {
    recordPlugins();
    testbrowser::PluginInstance& p = open();
    EXPECT_EQ(p.setWindow(testbrowser::WindowChange{}), NPERR_NO_ERROR);
    EXPECT_TRUE(std::find(recorded().calls.begin(), recorded().calls.end(), "SetWindow") ==
                recorded().calls.end());
    factory->guiEnabled = true;
    EXPECT_EQ(p.setWindow(testbrowser::WindowChange{}), 11);
    EXPECT_EQ(recorded().calls.back(), "SetWindow");
}

struct LogCase {
    const char* entry;
    std::function<void(const NPPluginFuncs&, NPP)> call;
    FB::Log::LogLevel level;
    std::string prefix;
    std::string suffix;
};

// Each entry point logs its instance under "NPAPI" before anything else.
TEST_F(EntryPoints, EachEntryPointLogsItsInstanceFirst) {
    NPP_t bare{};
    NPStream stream{};
    char mime[] = "text/plain";
    const char* text = nullptr;
    const std::vector<LogCase> cases = {
        {"NPP_New",
         [&](const NPPluginFuncs& f, NPP) {
             f.newp(mime, nullptr, 0, 0, nullptr, nullptr, nullptr);
         },
         FB::Log::LogLevel_Info, "NPP_New: ", ""},
        {"NPP_Destroy", [](const NPPluginFuncs& f, NPP i) { f.destroy(i, nullptr); },
         FB::Log::LogLevel_Info, "NPP_Destroy: ", ""},
        {"NPP_SetWindow", [](const NPPluginFuncs& f, NPP i) { f.setwindow(i, nullptr); },
         FB::Log::LogLevel_Trace, "", ""},
        {"NPP_NewStream",
         [&](const NPPluginFuncs& f, NPP i) { f.newstream(i, mime, &stream, 0, nullptr); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_DestroyStream",
         [&](const NPPluginFuncs& f, NPP i) { f.destroystream(i, &stream, 0); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_WriteReady", [&](const NPPluginFuncs& f, NPP i) { f.writeready(i, &stream); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_Write", [&](const NPPluginFuncs& f, NPP i) { f.write(i, &stream, 0, 0, nullptr); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_StreamAsFile", [&](const NPPluginFuncs& f, NPP i) { f.asfile(i, &stream, "x"); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_Print", [](const NPPluginFuncs& f, NPP i) { f.print(i, nullptr); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_HandleEvent", [](const NPPluginFuncs& f, NPP i) { f.event(i, nullptr); },
         FB::Log::LogLevel_Trace, "", ""},
        {"NPP_URLNotify", [](const NPPluginFuncs& f, NPP i) { f.urlnotify(i, "u", 0, nullptr); },
         FB::Log::LogLevel_Info, "", ""},
        {"NPP_GetValue",
         [&](const NPPluginFuncs& f, NPP i) { f.getvalue(i, NPPVpluginNameString, &text); },
         FB::Log::LogLevel_Trace, "", ""},
        {"NPP_SetValue",
         [](const NPPluginFuncs& f, NPP i) { f.setvalue(i, NPNVprivateModeBool, nullptr); },
         FB::Log::LogLevel_Trace, "", "variable: 0x12"},
    };
    for (const LogCase& c : cases) {
        log.clear();
        c.call(entries(), &bare);
        const std::vector<FB::Log::Record> records = log.records();
        ASSERT_FALSE(records.empty()) << c.entry;
        const NPP logged = std::string(c.entry) == "NPP_New" ? nullptr : &bare;
        EXPECT_EQ(records[0].src, "NPAPI") << c.entry;
        EXPECT_EQ(records[0].level, c.level) << c.entry;
        EXPECT_EQ(records[0].msg, c.prefix + pointerText(logged) + c.suffix) << c.entry;
    }
}

struct FailedNewCase {
    const char* name;
    std::string raise;
    NPError code;
    std::string printed;
};

void PrintTo(const FailedNewCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedNew : public EntryPoints, public ::testing::WithParamInterface<FailedNewCase> {};

// A failed NPP_New takes back all it did: host and core are gone, the
// instance holds nothing and gets no main-thread calls.
TEST_P(FailedNew, TakesBackAllItDid) {
    const FailedNewCase& c = GetParam();
    testing::internal::CaptureStdout();
    testbrowser::PluginInstance& p = open("<param name='raise' value='" + c.raise + "'>");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(p.newResult(), c.code);
    EXPECT_EQ(p.npp()->pdata, nullptr);
    EXPECT_EQ(FB::PluginCore::getActivePluginCount(), 0);
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 0);
    macos::RunLoop& loop = macos::RunLoop::main();
    const std::size_t pending = loop.pendingTasks();
    FB::OneShotManager::getInstance().npp_scheduleAsyncCallback(
        p.npp(), [](void*) {}, nullptr);
    EXPECT_EQ(loop.pendingTasks(), pending) << "the instance is no longer registered";
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedNew,
    ::testing::Values(FailedNewCase{"Refused", "runtime", NPERR_GENERIC_ERROR,
                                    "the test plug-in refuses its parameters\n"},
                      FailedNewCase{"OutOfMemory", "memory", NPERR_OUT_OF_MEMORY_ERROR,
                                    "std::bad_alloc\n"},
                      FailedNewCase{"CannotBeMade", "create", NPERR_INCOMPATIBLE_VERSION_ERROR,
                                    "the test plug-in cannot be made\n"},
                      FailedNewCase{"NotAStandardException", "other", NPERR_GENERIC_ERROR, ""}),
    [](const ::testing::TestParamInfo<FailedNewCase>& info) { return info.param.name; });

TEST_F(EntryPoints, AFactoryWithoutPluginObjectLeavesTheInstanceAsItWas) {
    factory->pluginMaker = [](const FB::Npapi::NpapiBrowserHostPtr&, const std::string&) {
        return boost::shared_ptr<FB::Npapi::NpapiPlugin>();
    };
    int marker = 0;
    NPP_t instance{&marker, nullptr};
    char mime[] = "application/x-velmora-test";
    EXPECT_EQ(entries().newp(mime, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr),
              NPERR_OUT_OF_MEMORY_ERROR);
    EXPECT_EQ(instance.pdata, &marker);
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 0);
}

TEST_F(EntryPoints, AFactoryWithoutPluginCoreFailsTheInstance) {
    factory->makeNoCore = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(open().newResult(), NPERR_GENERIC_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("The factory made no plug-in for ") + testMimeType + "\n");
}

// Attributes without a value are skipped; a later name replaces an earlier.
TEST_F(EntryPoints, TheAttributesWithAValueBecomeTheCoresParameters) {
    recordPlugins();
    testbrowser::PluginInstance& detached =
        browser.openPage("<html></html>").createDetachedInstance();
    char a[] = "a", b[] = "b", one[] = "1", two[] = "2";
    char* names[] = {a, b, a};
    char* values[] = {one, nullptr, two};
    char mime[] = "application/x-velmora-test";
    NPP instance = detached.npp();
    ASSERT_EQ(entries().newp(mime, instance, NP_EMBED, 3, names, values, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(recorded().core()->paramsText(), "a=2");
    NPSavedData* saved = nullptr;
    EXPECT_EQ(entries().destroy(instance, &saved), NPERR_NO_ERROR);
}

// The host is shut down before the plug-in object; both go with the holder.
TEST_F(EntryPoints, DestructionEndsTheHostThenThePluginObject) {
    recordPlugins();
    testbrowser::PluginInstance& p = open();
    std::vector<std::string> calls;
    recorded().onShutdown = [&] { calls = recorded().calls; };
    EXPECT_EQ(p.destroy(), NPERR_NO_ERROR);
    EXPECT_EQ(calls.back(), "shutdown, host down");
    EXPECT_TRUE(plugin.expired());
    EXPECT_EQ(p.npp()->pdata, nullptr);
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 0);
    const std::vector<std::string> infos = log.messages("NPAPI");
    EXPECT_NE(std::find(infos.begin(), infos.end(), "NPP_Destroy: " + pointerText(p.npp())),
              infos.end());
}

// A destruction that the shutdown calls back into finds no instance left.
TEST_F(EntryPoints, ADestructionCalledBackDuringTheShutdownFindsNoInstance) {
    recordPlugins();
    testbrowser::PluginInstance& p = open();
    NPError again = NPERR_NO_ERROR;
    recorded().onShutdown = [&] { again = entries().destroy(p.npp(), nullptr); };
    EXPECT_EQ(p.destroy(), NPERR_NO_ERROR);
    EXPECT_EQ(again, NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_TRUE(plugin.expired());
}

// --- Destruction from page code ---------------------------------------------------------

// Page functions: the names of the helpers the page's plug-in objects
// installed, and one to put in a helper's place that makes the delayed call
// at once.
const char* const helperScript = R"JS(
    function helperNames() {
        return Object.keys(window).filter(function (k) { return k.indexOf('__FB_CALL_') == 0; });
    }
    function callAtOnce(delay, f, args, fname) {
        return arguments.length == 3 ? f.apply(null, args) : f[fname].apply(f, args);
    })JS";

bool logged(const LogCapture& log, const std::string& message) {
    const std::vector<std::string> messages = log.messages("NPAPI");
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

const char* const destroyFailure = "NPP_Destroy failed: weakHost.expired()";
const char* const lateDestroyFailure =
    "NPP_Destroy: weakHost.expired() does not hold once the module's calls have returned";

// A handler called within the plug-in's event fire (the page put its own
// function in place of the helper) removes the plug-in's element: the
// instance is destroyed there, the destruction succeeds, and nothing is
// left once the calls have returned.
TEST_F(EntryPoints, AnInstanceAHandlerDestroysWithinItsEventFireEndsClean) {
    testbrowser::PluginInstance& p = open();
    page->eval(helperScript);
    page->eval(R"JS(var seen = [];
        var plugin = document.getElementById('p');
        plugin.addEventListener('ping', function (value) {
            seen.push(value);
            if (value == 'now') document.body.removeChild(document.getElementById('p'));
        });
        plugin.fire('later');
        window[helperNames()[0]] = callAtOnce;
        plugin.fire('now');)JS");
    EXPECT_EQ(page->eval("seen.join()"), "now");
    EXPECT_FALSE(p.alive());
    EXPECT_EQ(p.destroyResult(), std::optional<NPError>(NPERR_NO_ERROR));
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 0);
    EXPECT_EQ(FB::PluginCore::getActivePluginCount(), 0);
    EXPECT_FALSE(logged(log, destroyFailure));
    EXPECT_FALSE(logged(log, lateDestroyFailure));
    EXPECT_EQ(page->eval("typeof plugin.fire + ' ' + document.getElementById('p')"),
              "undefined null");
}

struct StartCase {
    const char* name;
    bool raiseAfterInit;
    NPError newResult;
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.name;
}

class DestroyedWhileStarting : public EntryPoints,
                               public ::testing::WithParamInterface<StartCase> {};

// p installs its helper; the page, knowing the helper name q will install
// next, puts its own function there first (the property cannot be written,
// so q's own helper does not replace it), and q's "onload" handler runs
// within NPP_New, where it removes q's element.
const char* const startingPage = R"JS(<html><body>
<script>function first() {}</script>
<object id='p' type='TYPE'><param name='onload' value='first'></object>
<script>
    var keys = helperNames().map(function (k) { return +k.substring(10); });
    Object.defineProperty(window, '__FB_CALL_' + (Math.max.apply(null, keys) + 1),
                          {value: callAtOnce});
    var loaded = [];
    function gone(plugin) {
        loaded.push(typeof plugin.fire);
        document.body.removeChild(document.getElementById('q'));
    }
</script>
<object id='q' type='TYPE'><param name='onload' value='gone'>PARAMS</object>
</body></html>)JS";

// The destruction within NPP_New succeeds, whether or not the
// initialisation raises afterwards, and leaves nothing of q.
TEST_P(DestroyedWhileStarting, TheDestructionSucceedsAndNothingIsLeft) {
    const StartCase& c = GetParam();
    if (c.raiseAfterInit) {
        recordPlugins();
    }
    std::string html = std::string("<script>") + helperScript + "</script>" + startingPage;
    boost::algorithm::replace_all(html, "TYPE", testMimeType);
    boost::algorithm::replace_all(
        html, "PARAMS", c.raiseAfterInit ? "<param name='raiseAfterInit' value='1'>" : "");
    testing::internal::CaptureStdout();
    page = &browser.openPage(html);
    testing::internal::GetCapturedStdout();
    testbrowser::PluginInstance& q = *page->instance("q");
    EXPECT_EQ(page->eval("loaded.join()"), "function");
    EXPECT_EQ(q.newResult(), c.newResult);
    EXPECT_EQ(q.destroyResult(), std::optional<NPError>(NPERR_NO_ERROR));
    EXPECT_FALSE(q.alive());
    EXPECT_EQ(q.npp()->pdata, nullptr);
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 1) << "p's alone";
    EXPECT_EQ(FB::PluginCore::getActivePluginCount(), 1);
    EXPECT_FALSE(logged(log, destroyFailure));
    EXPECT_FALSE(logged(log, lateDestroyFailure));
}

INSTANTIATE_TEST_SUITE_P(
    Starts, DestroyedWhileStarting,
    ::testing::Values(StartCase{"Completed", false, NPERR_NO_ERROR},
                      StartCase{"RaisingAfterwards", true, NPERR_GENERIC_ERROR}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.name; });

// A host that something besides the calls on the stack keeps is a failure
// either way: NPP_Destroy answers it when the browser destroys the instance
// from outside the module's calls; when page code destroys it from within
// them, the end of the outermost call logs it.
TEST_F(EntryPoints, AHostKeptElsewhereAfterTheDestructionIsReported) {
    FB::Npapi::NpapiBrowserHostPtr kept;
    factory->pluginMaker = [&](const FB::Npapi::NpapiBrowserHostPtr& host,
                               const std::string& mimetype) {
        kept = host;
        return factory->FB::FactoryBase::createNpapiPlugin(host, mimetype);
    };
    EXPECT_EQ(open().destroy(), NPERR_GENERIC_ERROR);
    EXPECT_TRUE(logged(log, destroyFailure));
    kept.reset();
    log.clear();
    testbrowser::PluginInstance& p = open();
    page->eval(helperScript);
    page->eval(R"JS(var plugin = document.getElementById('p');
        plugin.addEventListener('ping', function (value) {
            if (value == 'now') document.body.removeChild(plugin);
        });
        plugin.fire('later');
        window[helperNames()[0]] = callAtOnce;
        plugin.fire('now');)JS");
    EXPECT_EQ(p.destroyResult(), std::optional<NPError>(NPERR_NO_ERROR));
    EXPECT_TRUE(logged(log, lateDestroyFailure));
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 1);
    kept.reset();
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 0);
}

// A script object that keeps its host.
class HostKeeper : public FB::JSAPIAuto {
public:
    explicit HostKeeper(const FB::Npapi::NpapiBrowserHostPtr& host)
        : FB::JSAPIAuto("<HostKeeper>"), m_host(host) {}

private:
    FB::Npapi::NpapiBrowserHostPtr m_host;
};

struct FailedMakerCase {
    const char* name;
    bool raises;
    NPError code;
};

void PrintTo(const FailedMakerCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedMaker : public EntryPoints, public ::testing::WithParamInterface<FailedMakerCase> {};

// The plug-in object's maker has the host retain a script object that keeps
// the host, then fails: the host is shut down all the same, so the script
// object goes and with the host the page objects it held.
TEST_P(FailedMaker, StillShutsTheHostDownThoughItIsHeldElsewhere) {
    const FailedMakerCase& c = GetParam();
    boost::weak_ptr<HostKeeper> keeper;
    factory->pluginMaker = [&](const FB::Npapi::NpapiBrowserHostPtr& host, const std::string&) {
        const auto made = boost::make_shared<HostKeeper>(host);
        host->retainJSAPIPtr(made);
        keeper = made;
        if (c.raises) {
            throw std::runtime_error("the maker fails");
        }
        return boost::shared_ptr<FB::Npapi::NpapiPlugin>();
    };
    testing::internal::CaptureStdout();
    testbrowser::PluginInstance& p = open();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(p.newResult(), c.code);
    EXPECT_TRUE(keeper.expired());
    EXPECT_EQ(FB::BrowserHost::getInstanceCount(), 0);
    EXPECT_EQ(browser.liveObjects(), 0u) << "the page's window and element are let go";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedMaker,
    ::testing::Values(FailedMakerCase{"Raising", true, NPERR_GENERIC_ERROR},
                      FailedMakerCase{"MakingNothing", false, NPERR_OUT_OF_MEMORY_ERROR}),
    [](const ::testing::TestParamInfo<FailedMakerCase>& info) { return info.param.name; });

// The answers without an instance come from the factory once per process,
// the description being that of the plug-in's MIME type.
TEST_F(EntryPoints, TheModulesOwnAnswersAreFetchedOnce) {
    const char* text = nullptr;
    ASSERT_EQ(entries().getvalue(nullptr, NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, testDescription);
    const std::size_t asked = factory->descriptionRequests.size();
    const char* again = nullptr;
    ASSERT_EQ(entries().getvalue(nullptr, NPPVpluginDescriptionString, &again), NPERR_NO_ERROR);
    EXPECT_EQ(again, text);
    ASSERT_EQ(entries().getvalue(nullptr, NPPVpluginNameString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, testPluginName);
    ASSERT_EQ(entries().getvalue(nullptr, NPPVpluginNameString, &again), NPERR_NO_ERROR);
    EXPECT_EQ(again, text);
    EXPECT_EQ(factory->descriptionRequests.size(), asked);
    EXPECT_EQ(
        std::count(factory->descriptionRequests.begin(), factory->descriptionRequests.end(), ""),
        0);
}

// The exported functions without the browser: their log lines, tables
// refused, and the factory's start and end.
class ExportedFunctions : public ::testing::Test {
protected:
    LogCapture log;
    const boost::shared_ptr<TestFactory> factory = testFactory();
    testbrowser::Browser browser{testOptions()};
};

TEST_F(ExportedFunctions, ANullTableStartsNothing) {
    const int started = factory->initializations;
    EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(NP_Initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(factory->initializations, started);
}

TEST_F(ExportedFunctions, TheModuleStartsOnceAndEndsOnce) {
    const int started = factory->initializations;
    const int ended = factory->deinitializations;
    NPPluginFuncs funcs{};
    funcs.size = sizeof funcs;
    EXPECT_EQ(NP_GetEntryPoints(&funcs), NPERR_NO_ERROR);
    EXPECT_EQ(funcs.newp, &FB::Npapi::NpapiPluginModule::NPP_New);
    EXPECT_EQ(funcs.setvalue, &FB::Npapi::NpapiPluginModule::NPP_SetValue);
    EXPECT_EQ(funcs.size, sizeof funcs) << "the browser's own fields stay";
    EXPECT_EQ(NP_Initialize(&browser.functions()), NPERR_NO_ERROR);
    EXPECT_EQ(factory->initializations, started + 1);
    EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
    EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
    EXPECT_EQ(factory->deinitializations, ended + 1) << "only a module really released ends";
    EXPECT_EQ(log.messages("NPAPI"), (std::vector<std::string>{"", "Initialization done", "", ""}));
}

} // namespace
