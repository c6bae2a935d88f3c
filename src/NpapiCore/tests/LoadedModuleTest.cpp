// The test plug-in's module, built by the product's recipe, loaded through
// its exported entry points by the test browser: instances, the scriptable
// object, streams, main-thread calls and the module's end. What the module
// did is read through the test plug-in's script object.

#include "EntryPointCalls.h"

#include <testbrowser/Browser.h>

#include <gtest/gtest.h>

#include <NPAPI.h>

#include <dlfcn.h>

#include <boost/algorithm/string/split.hpp>
#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const char* const mimeType = "application/x-velmora-test";

testbrowser::BrowserOptions testOptions() {
    testbrowser::BrowserOptions options;
    options.mimeType = mimeType;
    return options;
}

// A page with one plug-in object "p" and the given <param>s.
std::string pageWith(const std::string& params = "") {
    return std::string("<html><body><object id='p' type='") + mimeType + "'>" + params +
           "</object></body></html>";
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (!text.empty()) {
        boost::algorithm::split(parts, text, [separator](char c) { return c == separator; });
    }
    return parts;
}

class LoadedModule : public ::testing::Test {
protected:
    void TearDown() override {
        browser.closePage();
        EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR)
            << "the module's end found a host or a plug-in core alive";
        EXPECT_TRUE(browser.clean()) << browser.leakReport();
        EXPECT_TRUE(browser.records().boundaryFaults.empty());
    }

    testbrowser::PluginInstance& open(const std::string& html = pageWith()) {
        page = &browser.openPage(html);
        return *page->instance("p");
    }
    std::string eval(const std::string& script) { return page->eval(script); }
    const NPPluginFuncs& entries() { return browser.module()->pluginFunctions(); }

    testbrowser::Browser browser{testOptions()};
    testbrowser::PluginModule& module = browser.loadModule(TEST_MODULE);
    testbrowser::Page* page = nullptr;
};

struct OrderCase {
    const char* name;
    testbrowser::EntryOrder order;
};

void PrintTo(const OrderCase& c, std::ostream* out) {
    *out << c.name;
}

class EitherOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(EitherOrder, TheModuleLoadsServesAPageAndEndsClean) {
    testbrowser::Browser browser(testOptions());
    testbrowser::PluginModule& module = browser.loadModule(TEST_MODULE, GetParam().order);
    EXPECT_NE(module.pluginFunctions().newp, nullptr);
    testbrowser::Page& page = browser.openPage(pageWith("<param name='color' value='blue'>"));
    EXPECT_EQ(page.instance("p")->newResult(), NPERR_NO_ERROR);
    EXPECT_EQ(page.eval("document.getElementById('p').params"),
              std::string("color=blue;id=p;type=") + mimeType);
    EXPECT_EQ(page.eval("document.getElementById('p').liveCores"), "1");
    browser.closePage();
    EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR);
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

INSTANTIATE_TEST_SUITE_P(
    Orders, EitherOrder,
    ::testing::Values(OrderCase{"GetEntryPointsFirst",
                                testbrowser::EntryOrder::GetEntryPointsFirst},
                      OrderCase{"InitializeFirst", testbrowser::EntryOrder::InitializeFirst}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

TEST(ModuleEntryPoints, NullTablesAreRefused) {
    void* library = dlopen(TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto getEntryPoints =
        reinterpret_cast<NP_GetEntryPointsFunc>(dlsym(library, "NP_GetEntryPoints"));
    const auto initialize = reinterpret_cast<NP_InitializeFunc>(dlsym(library, "NP_Initialize"));
    const auto shutdown = reinterpret_cast<NP_ShutdownFunc>(dlsym(library, "NP_Shutdown"));
    EXPECT_EQ(getEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(shutdown(), NPERR_NO_ERROR);
    dlclose(library);
}

// Without an instance the browser lists the plug-in by its name and the
// description of the MIME type it registers.
TEST_F(LoadedModule, WithoutAnInstanceTheModuleGivesItsNameAndDescription) {
    const char* text = nullptr;
    EXPECT_EQ(entries().getvalue(nullptr, NPPVpluginNameString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Binding test plug-in");
    EXPECT_EQ(entries().getvalue(nullptr, NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Plug-in of the binding's tests");
    void* untouched = &text;
    EXPECT_EQ(entries().getvalue(nullptr, NPPVpluginScriptableNPObject, &untouched),
              NPERR_GENERIC_ERROR);
    EXPECT_EQ(untouched, &text);
}

// An instance answers the same name and description from its plug-in
// object, and refuses the questions it has no answer for, writing nothing.
TEST_F(LoadedModule, AnInstanceGivesItsNameAndDescriptionAndRefusesOtherQuestions) {
    testbrowser::PluginInstance& instance = open();
    const char* text = nullptr;
    EXPECT_EQ(instance.getValue(NPPVpluginNameString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Binding test plug-in");
    EXPECT_EQ(instance.getValue(NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Plug-in of the binding's tests");
    void* untouched = &text;
    EXPECT_EQ(instance.getValue(static_cast<NPPVariable>(14), &untouched), NPERR_GENERIC_ERROR);
    EXPECT_EQ(untouched, &text);
}

// What each entry point answers for a NULL instance and for one without
// the module's private data; without an instance the browser is asking
// about the module.
TEST_F(LoadedModule, BadInstancesGetTheirEntryPointsCodes) {
    char mime[] = "text/plain";
    EXPECT_EQ(entries().newp(mime, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
              NPERR_INVALID_INSTANCE_ERROR);
    const std::map<std::string, int> expected = {{"NPP_SetWindow", 2},
                                                 {"NPP_NewStream", 2},
                                                 {"NPP_DestroyStream", 2},
                                                 {"NPP_WriteReady", -1},
                                                 {"NPP_Write", -1},
                                                 {"NPP_HandleEvent", 0},
                                                 {"NPP_GetValue", NPERR_NO_ERROR},
                                                 {"NPP_SetValue", 2}};
    NPP_t bare{};
    for (NPP instance : {static_cast<NPP>(nullptr), &bare}) {
        EXPECT_EQ(npapitest::callEntryPoints(entries(), instance), expected);
        EXPECT_EQ(entries().destroy(instance, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    }
}

TEST_F(LoadedModule, InstancesComeAndGoWithTheirHosts) {
    page = &browser.openPage(std::string("<html><body><object id='p' type='") + mimeType +
                             "'></object><object id='q' type='" + mimeType +
                             "'></object></body></html>");
    EXPECT_EQ(eval("document.getElementById('p').liveCores"), "2");
    EXPECT_EQ(eval("document.getElementById('p').liveHosts"), "2");
    testbrowser::PluginInstance& q = *page->instance("q");
    EXPECT_EQ(q.destroy(), NPERR_NO_ERROR);
    EXPECT_EQ(q.npp()->pdata, nullptr);
    EXPECT_EQ(eval("document.getElementById('p').liveCores"), "1");
    EXPECT_EQ(eval("document.getElementById('p').liveHosts"), "1");
    NPSavedData* saved = nullptr;
    EXPECT_EQ(entries().destroy(q.npp(), &saved), NPERR_INVALID_INSTANCE_ERROR)
        << "the second destruction finds no instance";
}

// One NPObject, retained again for each hand-out; destroying the instance
// gives back only the creation reference.
TEST_F(LoadedModule, TheScriptableObjectIsRetainedForEachHandOut) {
    testbrowser::PluginInstance& p = open();
    std::vector<NPObject*> handedOut(3, nullptr);
    for (NPObject*& object : handedOut) {
        ASSERT_EQ(p.getValue(NPPVpluginScriptableNPObject, &object), NPERR_NO_ERROR);
    }
    EXPECT_EQ(handedOut[0], handedOut[1]);
    EXPECT_EQ(handedOut[0], handedOut[2]);
    NPObject* object = handedOut[0];
    EXPECT_EQ(object->referenceCount, 4u);
    for (int i = 0; i < 3; ++i) {
        browser.releaseObject(object);
    }
    EXPECT_TRUE(browser.isLiveObject(object));
    EXPECT_EQ(p.destroy(), NPERR_NO_ERROR);
    EXPECT_FALSE(browser.isLiveObject(object));
}

// The page lists the scriptable object's names alike through for-in,
// Object.keys and Object.getOwnPropertyNames: its members in name order,
// then the three built-in ones.
TEST_F(LoadedModule, ThePageListsTheScriptableObjectsNamesEveryWay) {
    open();
    eval("var p = document.getElementById('p');");
    const std::string names = eval("Object.getOwnPropertyNames(p).join()");
    EXPECT_EQ(names, "burst,fire,get,getAttribute,getCached,liveCores,liveHosts,mainThreadCalls,"
                     "params,scheduleFailing,setAttribute,streamEvents,toString,valid,value,"
                     "addEventListener,removeEventListener,getLastException");
    EXPECT_EQ(eval("var found = []; for (var k in p) found.push(k); found.join()"), names);
    EXPECT_EQ(eval("Object.keys(p).join()"), names);
}

// --- Streams ---------------------------------------------------------------------------------

struct StreamCase {
    const char* name;
    bool notifyFirst;
    NPReason reason;
    std::string events;
};

void PrintTo(const StreamCase& c, std::ostream* out) {
    *out << c.name;
}

class RequestedStreams : public LoadedModule, public ::testing::WithParamInterface<StreamCase> {};

// The browser ends a request with NPP_DestroyStream and NPP_URLNotify in
// either order: the stream completes once and then lets itself go.
TEST_P(RequestedStreams, CompleteOnceAndGoWhateverTheOrderOfTheBrowsersEnd) {
    testbrowser::PluginInstance& p = open();
    EXPECT_EQ(eval("document.getElementById('p').get('http://example.com/a', false)"), "true");
    ASSERT_EQ(browser.records().urlRequests.size(), 1u);
    testbrowser::StreamDelivery delivery;
    delivery.body = "hello";
    delivery.reason = GetParam().reason;
    delivery.notifyBeforeDestroy = GetParam().notifyFirst;
    const testbrowser::StreamOutcome outcome =
        p.respond(browser.records().urlRequests[0], delivery);
    EXPECT_EQ(outcome.newStreamResult, NPERR_NO_ERROR);
    EXPECT_EQ(outcome.streamType, NP_NORMAL);
    EXPECT_EQ(outcome.bytesTaken, 5u);
    EXPECT_EQ(outcome.writeReadyAnswers, std::vector<int32_t>{131072});
    EXPECT_EQ(eval("document.getElementById('p').streamEvents"), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, RequestedStreams,
    ::testing::Values(StreamCase{"DestroyedThenNotified", false, NPRES_DONE,
                                 "attached,created,opened,data:0:5,completed:true,destroyed"},
                      StreamCase{"NotifiedThenDestroyed", true, NPRES_DONE,
                                 "attached,created,opened,data:0:5,completed:true,destroyed"},
                      StreamCase{"BrokenThenNotified", false, NPRES_NETWORK_ERR,
                                 "attached,created,opened,data:0:5,completed:false,destroyed"},
                      StreamCase{"NotifiedOfTheBreakFirst", true, NPRES_NETWORK_ERR,
                                 "attached,created,opened,data:0:5,completed:false,destroyed"}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

TEST_F(LoadedModule, ARequestTheBrowserFailsBeforeAnyStreamCompletesAndGoes) {
    testbrowser::PluginInstance& p = open();
    eval("document.getElementById('p').get('http://example.com/missing', false)");
    p.failRequest(browser.records().urlRequests.at(0), NPRES_NETWORK_ERR);
    EXPECT_EQ(eval("document.getElementById('p').streamEvents"),
              "attached,created,completed:false,destroyed");
}

struct SeekCase {
    const char* name;
    bool requested;
    bool offered;
    NPError result;
    uint16_t type;
    std::string events;
};

void PrintTo(const SeekCase& c, std::ostream* out) {
    *out << c.name;
}

class SeekableStreams : public LoadedModule, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(SeekableStreams, SeekingIsGrantedOnlyWhenTheServerOffersIt) {
    const SeekCase& c = GetParam();
    testbrowser::PluginInstance& p = open();
    eval(std::string("document.getElementById('p').get('http://example.com/s', ") +
         (c.requested ? "true" : "false") + ")");
    testbrowser::StreamDelivery delivery;
    delivery.body = "abc";
    delivery.seekable = c.offered;
    const testbrowser::StreamOutcome outcome =
        p.respond(browser.records().urlRequests.at(0), delivery);
    EXPECT_EQ(outcome.newStreamResult, c.result);
    if (c.result == NPERR_NO_ERROR) {
        EXPECT_EQ(outcome.streamType, c.type);
    }
    EXPECT_EQ(eval("document.getElementById('p').streamEvents"), c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SeekableStreams,
    ::testing::Values(SeekCase{"WantedAndOffered", true, true, NPERR_NO_ERROR, NP_SEEK,
                               "attached,created,opened,data:0:3,completed:true,destroyed"},
                      SeekCase{"WantedNotOffered", true, false, NPERR_STREAM_NOT_SEEKABLE, 0,
                               "attached,created,failed open,completed:false,destroyed"},
                      SeekCase{"OfferedNotWanted", false, true, NPERR_NO_ERROR, NP_NORMAL,
                               "attached,created,opened,data:0:3,completed:true,destroyed"}),
    [](const ::testing::TestParamInfo<SeekCase>& info) { return info.param.name; });

// The plug-in ends the stream at its first data: the browser is asked to
// destroy it, the plug-in hears of a failure once, and the stream goes.
TEST_F(LoadedModule, AStreamThePluginClosesEarlyReportsFailureOnce) {
    testbrowser::PluginInstance& p = open(pageWith("<param name='closeOnData' value='1'>"));
    eval("document.getElementById('p').get('http://example.com/long', false)");
    testbrowser::StreamDelivery delivery;
    delivery.body = std::string(1000, 'x');
    delivery.chunkSize = 100;
    const testbrowser::StreamOutcome outcome =
        p.respond(browser.records().urlRequests.at(0), delivery);
    EXPECT_TRUE(outcome.destroyedByPlugin);
    EXPECT_EQ(outcome.reason, NPRES_USER_BREAK);
    EXPECT_EQ(outcome.bytesTaken, 100u);
    EXPECT_EQ(eval("document.getElementById('p').streamEvents"),
              "attached,created,opened,data:0:100,completed:false,destroyed");
}

// The file name the browser gives is UTF-8; bytes that are not read as
// U+FFFD.
TEST_F(LoadedModule, ACachedStreamsFileNameIsReadAsUtf8) {
    testbrowser::PluginInstance& p = open();
    for (const char* name : {"/tmp/caf\xC3\xA9.txt", "/tmp/bad\xFF.txt"}) {
        eval("document.getElementById('p').getCached('http://example.com/f')");
        testbrowser::StreamDelivery delivery;
        delivery.body = "abc";
        delivery.cacheFile = name;
        const testbrowser::StreamOutcome outcome =
            p.respond(browser.records().urlRequests.back(), delivery);
        EXPECT_EQ(outcome.streamType, NP_ASFILE);
    }
    EXPECT_EQ(eval("document.getElementById('p').streamEvents"),
              "attached,created,opened,data:0:3,completed:true,file:/tmp/caf\xC3\xA9.txt,destroyed,"
              "attached,created,opened,data:0:3,completed:true,file:/tmp/bad\xEF\xBF\xBD.txt,"
              "destroyed");
}

struct UnsolicitedCase {
    const char* name;
    std::string taking;
    int32_t writeReady;
    std::string events;
};

void PrintTo(const UnsolicitedCase& c, std::ostream* out) {
    *out << c.name;
}

class UnsolicitedStreams : public LoadedModule,
                           public ::testing::WithParamInterface<UnsolicitedCase> {};

// A stream the browser opens by itself reaches the plug-in only when its
// core takes it; destruction alone ends it.
TEST_P(UnsolicitedStreams, OnlyATakenStreamIsFollowed) {
    const UnsolicitedCase& c = GetParam();
    testbrowser::PluginInstance& p =
        open(c.taking.empty() ? pageWith()
                              : pageWith("<param name='unsolicited' value='" + c.taking + "'>"));
    testbrowser::StreamDelivery delivery;
    delivery.url = "http://example.com/pushed";
    delivery.body = "pushed";
    const testbrowser::StreamOutcome outcome = p.deliverStream(delivery);
    EXPECT_EQ(outcome.newStreamResult, NPERR_NO_ERROR);
    ASSERT_FALSE(outcome.writeReadyAnswers.empty());
    EXPECT_EQ(outcome.writeReadyAnswers[0], c.writeReady);
    EXPECT_EQ(eval("document.getElementById('p').streamEvents"), c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Takers, UnsolicitedStreams,
    ::testing::Values(UnsolicitedCase{"NotTaken", "", -1, ""},
                      UnsolicitedCase{"Sink", "sink", 131072,
                                      "attached,opened,data:0:6,completed:true,destroyed"},
                      UnsolicitedCase{"Callback", "callback", 131072, "callback:true:pushed"},
                      UnsolicitedCase{"NeitherSinkNorCallback", "accept", 131072, ""}),
    [](const ::testing::TestParamInfo<UnsolicitedCase>& info) { return info.param.name; });

// --- Main-thread calls -------------------------------------------------------------------------

// Worker threads schedule calls through the host; the browser's main loop
// runs each thread's calls in the order it made them.
TEST_F(LoadedModule, BurstsFromSeveralThreadsRunInOrderOnTheMainThread) {
    open();
    const int threads = 4, calls = 100;
    eval("document.getElementById('p').burst(" + std::to_string(threads) + ", " +
         std::to_string(calls) + ")");
    std::vector<std::string> ran;
    EXPECT_TRUE(browser.runUntil(
        [&] {
            ran = split(eval("document.getElementById('p').mainThreadCalls"), ',');
            return ran.size() == threads * calls;
        },
        10s));
    ASSERT_EQ(ran.size(), threads * calls);
    std::vector<int> next(threads, 0);
    for (const std::string& call : ran) {
        const std::vector<std::string> parts = split(call, ':');
        const int thread = std::stoi(parts.at(0));
        EXPECT_EQ(std::stoi(parts.at(1)), next.at(thread)++) << call;
    }
}

// A call that raises reaches the module's main-thread queue directly; the
// calls after it still run, and so do later ones.
TEST_F(LoadedModule, AMainThreadCallThatRaisesDoesNotStallTheOthers) {
    open();
    for (int round = 1; round <= 2; ++round) {
        eval("document.getElementById('p').scheduleFailing()");
        browser.runUntilIdle(1s);
        EXPECT_EQ(split(eval("document.getElementById('p').mainThreadCalls"), ',').size(),
                  std::size_t(round));
    }
}

// A browser torn down while the module's one-shot dispatch is still posted
// drops that work before it unloads the module, whose code the work holds.
TEST(LoadedModuleTeardown, WorkLeftQueuedGoesBeforeTheModuleIsUnloaded) {
    {
        testbrowser::Browser browser(testOptions());
        browser.loadModule(TEST_MODULE);
        browser.openPage(pageWith()).eval("document.getElementById('p').burst(1, 1)");
    }
    SUCCEED() << "nothing of the module ran after it was unloaded";
}

} // namespace
