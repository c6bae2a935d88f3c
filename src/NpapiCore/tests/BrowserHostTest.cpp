// The NPAPI browser host: its browser functions, the page's objects, script,
// proxies, the NPObject of each script object and releases.

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"
#include "NPObjectAPI.h"
#include "NpapiTestSupport.h"

#include <testbrowser/Page.h>

#include <MacStandIn/StandIn.h>

#include <boost/make_shared.hpp>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <thread>

using namespace npapitest;
using FB::Npapi::NpapiBrowserHost;
using FB::Npapi::NpapiBrowserHostPtr;
using FB::Npapi::NpapiPluginModule;
using FB::Npapi::NPObjectAPI;

namespace {

// A host over a browser that offers no function at all.
TEST(BareBrowserHost, EveryFunctionGivesItsFixedAnswerAndThePageObjectsAreMissing) {
    NPNetscapeFuncs none{};
    none.size = sizeof none;
    none.version = 29;
    NpapiPluginModule module;
    module.setNetscapeFuncs(&none);
    NPP_t instance{};
    const auto host = boost::make_shared<NpapiBrowserHost>(&module, &instance);
    host->setBrowserFuncs(&module.NPNFuncs);
    NPObject object{};
    NPVariant result{};
    char* answer = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(host->GetURL("u", nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->GetURLNotify("u", nullptr, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->PostURL("u", nullptr, 0, "", false), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->PostURLNotify("u", nullptr, 0, "", false, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->RequestRead(nullptr, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->NewStream(nullptr, nullptr, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->Write(nullptr, 0, nullptr), 0);
    EXPECT_EQ(host->DestroyStream(nullptr, 0), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->UserAgent(), nullptr);
    EXPECT_EQ(host->GetValue(NPNVWindowNPObject, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->SetValue(NPPVpluginDrawingModel, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(host->CreateObject(nullptr), nullptr);
    EXPECT_FALSE(host->Invoke(&object, nullptr, nullptr, 0, &result));
    EXPECT_FALSE(host->InvokeDefault(&object, nullptr, 0, &result));
    EXPECT_FALSE(host->Evaluate(&object, nullptr, &result));
    EXPECT_FALSE(host->GetProperty(&object, nullptr, &result));
    EXPECT_FALSE(host->SetProperty(&object, nullptr, &result));
    EXPECT_FALSE(host->RemoveProperty(&object, nullptr));
    EXPECT_FALSE(host->HasProperty(&object, nullptr));
    EXPECT_FALSE(host->HasMethod(&object, nullptr));
    EXPECT_FALSE(host->Enumerate(&object, nullptr, nullptr));
    EXPECT_FALSE(host->Construct(&object, nullptr, 0, &result));
    EXPECT_EQ(host->ScheduleTimer(10, false, nullptr), 0u);
    EXPECT_EQ(host->GetValueForURL(NPNURLVProxy, "u", &answer, &length),
              NPERR_INCOMPATIBLE_VERSION_ERROR);
    EXPECT_EQ(host->SetValueForURL(NPNURLVProxy, "u", "", 0), NPERR_INCOMPATIBLE_VERSION_ERROR);
    EXPECT_EQ(host->GetAuthenticationInfo("http", "h", 80, "basic", "r", &answer, &length, &answer,
                                          &length),
              NPERR_INCOMPATIBLE_VERSION_ERROR);
    host->SetStatus("s");
    host->InvalidateRect2(NPRect{0, 0, 1, 1});
    host->InvalidateRegion(nullptr);
    host->ForceRedraw();
    host->PushPopupsEnabledState(true);
    host->PopPopupsEnabledState();
    host->SetException(&object, "e");
    host->UnscheduleTimer(1);
    host->Navigate("http://example.com/", "_blank");
    EXPECT_FALSE(host->isChrome());
    EXPECT_FALSE(host->isFirefox());
    EXPECT_FALSE(host->isSafari());
    std::map<std::string, std::string> settings{{"kept", "yes"}};
    EXPECT_FALSE(host->DetectProxySettings(settings, "http://example.com/"));
    EXPECT_EQ(settings.size(), 1u);
    EXPECT_EQ(messageOf([&] { host->getDOMWindow(); }), "Cannot find HTML window");
    EXPECT_EQ(messageOf([&] { host->getDOMDocument(); }), "Cannot find HTML document");
    EXPECT_EQ(messageOf([&] { host->getDOMElement(); }), "Cannot find HTML window");
    EXPECT_EQ(messageOf([&] { host->evaluateJavaScript("1"); }), "Cannot find HTML window");
    EXPECT_EQ(host->getContextID(), &instance);
    host->shutdown();
}

TEST(BareBrowserHost, AHostNeedsItsModule) {
    NPP_t instance{};
    EXPECT_EQ(messageOf([&] { NpapiBrowserHost host(nullptr, &instance); }), "module != NULL");
}

class BrowserHost : public BrowserFixture {};

TEST_F(BrowserHost, ThePagesWindowDocumentAndElementAreWrapped) {
    NPObject* window = page->windowObject();
    EXPECT_EQ(FB::ptr_cast<NPObjectAPI>(host->getDOMWindow()->getJSObject())->getNPObject(),
              window);
    browser.functions().releaseobject(window);
    EXPECT_EQ(host->getDOMElement()->getProperty<std::string>("id"), "plugin");
    EXPECT_TRUE(host->getDOMDocument()->getJSObject()->HasMethod("getElementById"));
}

TEST_F(BrowserHost, APageWithoutElementOrDocumentStillGetsAHost) {
    page->eval("document = 42;");
    NPP other = page->createDetachedInstance("plugin").npp();
    NpapiBrowserHostPtr second = makeHost(other);
    EXPECT_TRUE(second->getDOMWindow());
    EXPECT_EQ(messageOf([&] { second->getDOMElement(); }), "Cannot find HTML window");
    EXPECT_EQ(messageOf([&] { second->getDOMDocument(); }), "Cannot find HTML document");
    dropHost(second, other);
}

TEST_F(BrowserHost, ScriptRunsInThePageAndItsCopyIsFreed) {
    host->evaluateJavaScript("var ran = 'yes';");
    EXPECT_EQ(page->eval("ran"), "yes");
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
    EXPECT_EQ(messageOf([&] { host->evaluateJavaScript("this is not script"); }),
              "Error executing JavaScript code");
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
    host->evaluateJavaScript(std::wstring(L"var wide = '\u00e9';"));
    EXPECT_EQ(page->eval("wide"), "\xC3\xA9");
}

TEST_F(BrowserHost, AfterShutdownTheBrowserIsOnlyReachedThroughTheModule) {
    NPObject* window = page->windowObject();
    host->shutdown();
    const uint32_t references = window->referenceCount;
    EXPECT_EQ(host->RetainObject(window), window);
    EXPECT_EQ(window->referenceCount, references + 1);
    NPVariant result{};
    char* answer = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(host->GetURL("http://example.com/", nullptr), NPERR_GENERIC_ERROR);
    EXPECT_FALSE(host->Invoke(window, id("Array"), nullptr, 0, &result));
    EXPECT_EQ(host->UserAgent(), nullptr);
    EXPECT_EQ(host->GetValueForURL(NPNURLVProxy, "http://example.com/", &answer, &length),
              NPERR_INCOMPATIBLE_VERSION_ERROR);
    EXPECT_FALSE(host->_scheduleAsyncCall([](void*) {}, nullptr));
    EXPECT_TRUE(browser.records().urlRequests.empty());
    host->ReleaseObject(window);
    EXPECT_EQ(window->referenceCount, references);
    const size_t allocations = browser.ledger().allocations();
    host->MemFree(host->MemAlloc(8));
    EXPECT_EQ(browser.ledger().allocations(), allocations + 1);
    browser.functions().releaseobject(window);
}

TEST_F(BrowserHost, NavigationAsksTheBrowserForTheURL) {
    host->Navigate("http://example.com/next", "_self");
    ASSERT_EQ(browser.records().urlRequests.size(), 1u);
    EXPECT_EQ(browser.records().urlRequests[0].url, "http://example.com/next");
    EXPECT_EQ(browser.records().urlRequests[0].target, "_self");
}

TEST_F(BrowserHost, ACallForTheMainThreadRunsThereOnce) {
    static int runs = 0;
    runs = 0;
    std::thread worker(
        [&] { EXPECT_TRUE(host->_scheduleAsyncCall([](void*) { ++runs; }, nullptr)); });
    worker.join();
    EXPECT_TRUE(runUntil([] { return runs == 1; }));
    browser.runPending();
    EXPECT_EQ(runs, 1);
}

TEST_F(BrowserHost, TheUserAgentNamesTheBrowser) {
    EXPECT_TRUE(host->isSafari());
    EXPECT_FALSE(host->isChrome());
    EXPECT_FALSE(host->isFirefox());
}

class ChromeHost : public BrowserFixture {
protected:
    static testbrowser::BrowserOptions chrome() {
        testbrowser::BrowserOptions options;
        options.userAgent = "Mozilla/5.0 AppleWebKit/537.36 Chrome/40.0 Safari/537.36";
        return options;
    }
    ChromeHost() : BrowserFixture(chrome()) {}
};

TEST_F(ChromeHost, ChromeIsNotSafari) {
    EXPECT_TRUE(host->isChrome());
    EXPECT_FALSE(host->isSafari());
}

// --- Proxies ------------------------------------------------------------------

std::optional<std::string> g_proxyAnswer;

class ProxyHost : public BrowserFixture {
protected:
    static testbrowser::BrowserOptions answering() {
        testbrowser::BrowserOptions options;
        options.proxyForUrl = [](const std::string&) { return g_proxyAnswer; };
        return options;
    }
    ProxyHost() : BrowserFixture(answering()) {}
};

TEST_F(ProxyHost, TheFirstEntryOfTheBrowsersAnswerIsRead) {
    struct Case {
        std::optional<std::string> answer;
        std::string url;
        bool found;
        std::string type, hostname, port;
    };
    const Case cases[] = {
        {std::string("DIRECT"), "http://a/", false, "", "", ""},
        {std::nullopt, "http://a/", false, "", "", ""},
        {std::string("PROXY p1:8080"), "ftp://files.example.com/x", true, "ftp", "p1", "8080"},
        {std::string("PROXY p1:8080"), "HTTPS://a/", true, "https", "p1", "8080"},
        {std::string("SOCKS s1:1080"), "http://a/", true, "socks", "s1", "1080"},
        {std::string("HTTPS h:443"), "http://a/", true, "HTTPS", "h", "443"},
        {std::string("PROXY  p1:8080;  PROXY p2:9090"), "http://a/", true, "http", "p1", "8080"},
        {std::string("PROXY p1:8080;"), "http://a/", true, "http", "p1", "8080"},
        {std::string("PROXY"), "http://a/", false, "", "", ""},
        {std::string("PROXY p1"), "http://a/", false, "", "", ""},
        {std::string("PROXY p1:"), "http://a/", false, "", "", ""},
        {std::string(""), "http://a/", false, "", "", ""},
        {std::string(";"), "http://a/", false, "", "", ""},
    };
    for (const Case& c : cases) {
        g_proxyAnswer = c.answer;
        std::map<std::string, std::string> settings{{"kept", "yes"}};
        const std::string label = c.answer.value_or("(error)");
        EXPECT_EQ(host->DetectProxySettings(settings, c.url), c.found) << label;
        if (c.found) {
            EXPECT_EQ(settings, (std::map<std::string, std::string>{
                                    {"type", c.type}, {"hostname", c.hostname}, {"port", c.port}}))
                << label;
        } else {
            EXPECT_EQ(settings, (std::map<std::string, std::string>{{"kept", "yes"}})) << label;
        }
        EXPECT_EQ(browser.ledger().openBlocks(), 0u) << label;
    }
    g_proxyAnswer = std::string("PROXY p1:8080");
    std::map<std::string, std::string> settings{{"kept", "yes"}};
    EXPECT_FALSE(host->DetectProxySettings(settings, "b@d://a/"));
    EXPECT_EQ(settings.size(), 1u) << "a URL without a protocol changes nothing";
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
}

class OldProxyHost : public BrowserFixture {
protected:
    static testbrowser::BrowserOptions withoutURLValues() {
        testbrowser::BrowserOptions options;
        options.version = 20;
        options.proxyForUrl = [](const std::string&) {
            return std::optional<std::string>("PROXY p1:8080");
        };
        return options;
    }
    OldProxyHost() : BrowserFixture(withoutURLValues()) {}
};

TEST_F(OldProxyHost, ABrowserWithoutTheAnswerLeavesItToTheSystem) {
    std::map<std::string, std::string> settings{{"kept", "yes"}};
    EXPECT_FALSE(host->DetectProxySettings(settings, "http://a/"));
    EXPECT_EQ(settings.size(), 1u);

    macos::setSystemProxies(
        macos::ProxySettings{{"HTTPEnable", 1}, {"HTTPProxy", "system"}, {"HTTPPort", 3128}});
    EXPECT_TRUE(host->DetectProxySettings(settings, "http://a/"));
    macos::setSystemProxies(macos::ProxySettings{});
    EXPECT_EQ(settings,
              (std::map<std::string, std::string>{
                  {"kept", "yes"}, {"type", "http"}, {"hostname", "system"}, {"port", "3128"}}));
}

// --- The NPObject of each script object -------------------------------------------

TEST_F(BrowserHost, AScriptObjectKeepsItsNPObjectUntilTheBrowserLetsItGo) {
    const auto api = boost::make_shared<TestAPI>();
    const size_t live = browser.liveObjects();
    NPObject* first = host->getJSAPIWrapper(api, false);
    NPObject* again = host->getJSAPIWrapper(api, false);
    EXPECT_EQ(first, again);
    EXPECT_EQ(first->referenceCount, 2u);
    host->ReleaseObject(first);
    host->ReleaseObject(first);
    EXPECT_EQ(browser.liveObjects(), live);
    NPObject* renewed = host->getJSAPIWrapper(api, false);
    EXPECT_EQ(renewed->referenceCount, 1u);
    EXPECT_TRUE(static_cast<FB::Npapi::NPJavascriptObject*>(renewed)->isBoundTo(api));
    host->ReleaseObject(renewed);
}

// A script object born where a dead one lived gets an NPObject of its own,
// even while the dead one's NPObject is still held.
TEST_F(BrowserHost, ANewScriptObjectAtAnOldAddressGetsItsOwnNPObject) {
    alignas(TestAPI) static unsigned char storage[sizeof(TestAPI)];
    const auto destroyInPlace = [](TestAPI* api) { api->~TestAPI(); };
    boost::shared_ptr<TestAPI> first(new (storage) TestAPI(), destroyInPlace);
    NPObject* firstObject = host->getJSAPIWrapper(first, false);
    first.reset();
    boost::shared_ptr<TestAPI> second(new (storage) TestAPI(), destroyInPlace);
    NPObject* secondObject = host->getJSAPIWrapper(second, false);
    EXPECT_NE(secondObject, firstObject);
    EXPECT_TRUE(static_cast<FB::Npapi::NPJavascriptObject*>(secondObject)->isBoundTo(second));
    host->ReleaseObject(firstObject);
    host->ReleaseObject(secondObject);
    second.reset();
}

TEST_F(BrowserHost, AnObjectWhoseScriptObjectIsGoneIsNotCached) {
    boost::weak_ptr<FB::JSAPI> gone;
    {
        const auto api = boost::make_shared<TestAPI>();
        gone = api;
    }
    NPObject* first = host->getJSAPIWrapper(gone, true);
    NPObject* second = host->getJSAPIWrapper(gone, true);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    host->ReleaseObject(first);
    host->ReleaseObject(second);
}

// --- Releases --------------------------------------------------------------------------

TEST_F(BrowserHost, AReleaseFromAnotherThreadWaitsForTheMainThread) {
    NPObject* window = page->windowObject();
    const uint32_t references = window->referenceCount;
    host->RetainObject(window);
    std::thread worker([&] { host->deferred_release(window); });
    worker.join();
    EXPECT_EQ(window->referenceCount, references + 1);
    host->DoDeferredRelease();
    EXPECT_EQ(window->referenceCount, references);
    browser.functions().releaseobject(window);
}

// Page objects dropped after the host has shut down, on the main thread or
// another one, or left in the host's queue when it goes, all reach the
// browser again, through the module.
TEST_F(BrowserHost, APageObjectOutlivingItsHostStillGivesItsReferenceBack) {
    const auto wrap = [&](const char* script) {
        return FB::ptr_cast<NPObjectAPI>(pageValue(script).cast<FB::JSObjectPtr>());
    };
    FB::Npapi::NPObjectAPIPtr onMainThread = wrap("[1]"), onWorker = wrap("[2]"),
                              leftInQueue = wrap("[3]");
    NPObject* const mainObject = onMainThread->getNPObject();
    NPObject* const workerObject = onWorker->getNPObject();
    NPObject* const queuedObject = leftInQueue->getNPObject();
    host->shutdown();
    std::thread([&] { leftInQueue.reset(); }).join();
    EXPECT_TRUE(browser.isLiveObject(queuedObject));
    dropHost(host, npp);
    EXPECT_FALSE(browser.isLiveObject(queuedObject));
    onMainThread.reset();
    EXPECT_FALSE(browser.isLiveObject(mainObject));
    std::thread([&] { onWorker.reset(); }).join();
    EXPECT_TRUE(browser.isLiveObject(workerObject));
    module.DoDeferredRelease();
    EXPECT_FALSE(browser.isLiveObject(workerObject));
}

// A page object may outlive the module itself (a worker or a static holding
// it past NP_Shutdown): its release then reaches no module, and nothing is
// read from the destroyed one (the sanitizer build would see it).
TEST_F(BrowserHost, APageObjectOutlivingItsModuleGivesNothingBack) {
    auto shortLived = std::make_unique<NpapiPluginModule>();
    shortLived->setNetscapeFuncs(&browser.functions());
    NpapiBrowserHostPtr shortHost = boost::make_shared<NpapiBrowserHost>(shortLived.get(), npp);
    shortHost->setBrowserFuncs(&shortLived->NPNFuncs);
    NPVariant array = evaluate("[4]");
    auto wrapper = boost::make_shared<NPObjectAPI>(array.value.objectValue, shortHost);
    browser.functions().releasevariantvalue(&array);
    NPObject* const object = wrapper->getNPObject();
    shortHost->shutdown();
    shortHost.reset();
    shortLived.reset();
    std::thread([&] { wrapper.reset(); }).join();
    ASSERT_TRUE(browser.isLiveObject(object)) << "nothing reached a module that has gone";
    browser.functions().releaseobject(object);
}

} // namespace
