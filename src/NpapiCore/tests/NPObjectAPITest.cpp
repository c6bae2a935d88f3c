// Page objects seen as FB::JSObject: member operations through the browser,
// the system's own objects, a gone host, event ids, event handlers and calls
// from other threads.

#include "NPObjectAPI.h"
#include "NpapiTestSupport.h"
#include "variant_list.h"

#include <testbrowser/Page.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <thread>

using namespace npapitest;
using FB::Npapi::NPObjectAPI;
using FB::Npapi::NPObjectAPIPtr;

namespace {

class PageObject : public BrowserFixture {
protected:
    FB::JSObjectPtr object(const std::string& script) {
        return pageValue(script).cast<FB::JSObjectPtr>();
    }
};

TEST_F(PageObject, MembersAreReadWrittenRemovedAndCalled) {
    page->eval("var target = {count: 1, add: function (a, b) { return a + b; }};");
    const FB::JSObjectPtr target = object("target");
    EXPECT_TRUE(target->HasMethod("add"));
    EXPECT_FALSE(target->HasMethod("count"));
    EXPECT_TRUE(target->HasProperty("count"));
    EXPECT_EQ(target->GetProperty("count").convert_cast<int>(), 1);
    target->SetProperty("count", 5);
    EXPECT_EQ(page->eval("target.count"), "5");
    EXPECT_EQ(target->Invoke("add", FB::variant_list_of(2)(3)).convert_cast<int>(), 5);
    target->RemoveProperty("count");
    EXPECT_EQ(page->eval("'count' in target"), "false");
    EXPECT_EQ(target->getMemberCount(), 1u);
    std::vector<std::string> names{"replaced"};
    target->getMemberNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"add"});
}

TEST_F(PageObject, TheEmptyNameCallsAPageFunctionItself) {
    const FB::JSObjectPtr function = object("(function (a, b) { return a * b; })");
    EXPECT_EQ(function->Invoke("", FB::variant_list_of(6)(7)).convert_cast<int>(), 42);
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
}

TEST_F(PageObject, AConstructorMakesANewObject) {
    page->eval("function Point(x) { this.x = x; }");
    const FB::JSObjectPtr made =
        object("Point")->Construct(FB::variant_list_of(4)).cast<FB::JSObjectPtr>();
    EXPECT_EQ(made->GetProperty("x").convert_cast<int>(), 4);
    EXPECT_EQ(messageOf([&] { object("({})")->Construct(FB::VariantList()); }), "constructor");
}

TEST_F(PageObject, ABrowserRefusalRaisesTheMembersName) {
    page->eval("var guarded = {get secret() { throw new Error('no'); },"
               "set secret(v) { throw new Error('no'); }};");
    const FB::JSObjectPtr guarded = object("guarded");
    EXPECT_EQ(messageOf([&] { guarded->GetProperty("secret"); }), "secret");
    EXPECT_EQ(messageOf([&] { guarded->SetProperty("secret", 1); }), "secret");
    EXPECT_EQ(messageOf([&] { guarded->Invoke("missing", FB::VariantList{std::string("x")}); }),
              "missing");
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
}

// Indexed members go by their decimal text, HasProperty(int) by an integer
// identifier; enumerated indexes read as their text.
TEST_F(PageObject, IndexesAreMembersNamedByTheirText) {
    page->eval("var items = ['zero', 'one']; items['-1'] = 'minus';");
    const FB::JSObjectPtr items = object("items");
    EXPECT_EQ(items->GetProperty(1).convert_cast<std::string>(), "one");
    EXPECT_EQ(items->GetProperty(-1).convert_cast<std::string>(), "minus");
    items->SetProperty(2, std::string("two"));
    EXPECT_EQ(page->eval("items[2]"), "two");
    EXPECT_TRUE(items->HasProperty(2));
    EXPECT_FALSE(items->HasProperty(7));
    items->RemoveProperty(0);
    EXPECT_EQ(page->eval("0 in items"), "false");
    std::vector<std::string> names;
    items->getMemberNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"1", "2", "-1"}));
    FB::VariantMap asMap = pageValue("items").convert_cast<FB::VariantMap>();
    EXPECT_EQ(asMap.size(), 3u);
    EXPECT_EQ(asMap["2"].convert_cast<std::string>(), "two");
}

TEST_F(PageObject, ThePluginsOwnObjectIsCalledDirectly) {
    const auto api = boost::make_shared<TestAPI>();
    expose(api, "plugin");
    const FB::JSObjectPtr own = object("plugin");
    EXPECT_EQ(own->getJSAPI(), api);
    EXPECT_EQ(own->Invoke("concat", FB::variant_list_of("a")("b")).cast<std::string>(), "ab");
    own->SetProperty(2, std::string("two"));
    EXPECT_EQ(api->GetProperty(2).convert_cast<std::string>(), "two");
    EXPECT_EQ(own->GetProperty(2).convert_cast<std::string>(), "two");
    EXPECT_FALSE(api->HasMethod("2"));
    own->invalidate();
    EXPECT_FALSE(own->GetProperty("name").cast<bool>());
    EXPECT_FALSE(own->Invoke("concat", FB::variant_list_of("a")("b")).cast<bool>());
    EXPECT_FALSE(own->GetProperty(3).cast<bool>());
    EXPECT_FALSE(own->HasProperty("name"));
    EXPECT_EQ(own->getMemberCount(), 0u);
}

TEST_F(PageObject, WhenTheHostIsGoneEveryOperationGivesItsFixedAnswer) {
    const FB::JSObjectPtr target = object("({a: 1})");
    const FB::JSObjectPtr function = object("(function () {})");
    dropHost(host, npp);
    EXPECT_FALSE(target->isValid());
    EXPECT_FALSE(target->HasMethod("a"));
    EXPECT_FALSE(target->HasProperty("a"));
    EXPECT_FALSE(target->HasProperty(0));
    EXPECT_TRUE(target->GetProperty("a").is_of_type<FB::variant_detail::empty>());
    EXPECT_TRUE(target->GetProperty(0).is_of_type<FB::variant_detail::empty>());
    EXPECT_FALSE(target->Invoke("a", FB::VariantList()).cast<bool>());
    EXPECT_FALSE(function->Construct(FB::VariantList()).cast<bool>());
    target->SetProperty("a", 2);
    target->RemoveProperty("a");
    target->SetProperty(0, 2);
    target->RemoveProperty(0);
    EXPECT_EQ(target->getMemberCount(), 0u);
    EXPECT_EQ(target->getEventContext(), nullptr);
    EXPECT_EQ(
        messageOf([&] { target->callMultipleFunctions("onping", FB::VariantList(), {}, {}); }),
        "Error calling handlers");
}

// --- Event ids -------------------------------------------------------------------

TEST_F(PageObject, TheEventIdLivesInThePageObject) {
    page->eval("var handler = function () {}; var marked = {__fb_event_id: 77};");
    const FB::JSObjectPtr first = object("handler");
    const FB::JSObjectPtr second = object("handler");
    void* const id = first->getEventId();
    EXPECT_NE(id, nullptr);
    EXPECT_EQ(page->eval("String(handler.__fb_event_id)"),
              std::to_string(reinterpret_cast<std::uintptr_t>(id)));
    EXPECT_EQ(second->getEventId(), id);
    page->eval("handler.__fb_event_id = 5;");
    EXPECT_EQ(first->getEventId(), id) << "read from the page once per wrapper";
    EXPECT_EQ(object("marked")->getEventId(), reinterpret_cast<void*>(77));
    EXPECT_NE(object("(function () {})")->getEventId(), id);
    EXPECT_EQ(first->getEventContext(), static_cast<void*>(npp));
}

// --- Event handlers ------------------------------------------------------------------

class EventHandlers : public PageObject {
protected:
    void SetUp() override {
        PageObject::SetUp();
        page->eval("var calls = [];"
                   "function first(v) { calls.push('first ' + v); }"
                   "function second(v) { calls.push('second ' + v); }"
                   "var iface = {onping: function (v) { calls.push('iface ' + v + ' ' +"
                   "    (this === iface)); }};");
    }

    std::string callsAfterTimers() {
        browser.runUntilIdle(std::chrono::seconds(10));
        return page->eval("calls.join(';')");
    }
};

TEST_F(EventHandlers, EachHandlerRunsLaterFromThePagesTimer) {
    const FB::JSObjectPtr first = object("first");
    first->callMultipleFunctions("onping", FB::variant_list_of(1), {first, object("second")},
                                 {object("iface")});
    EXPECT_EQ(page->eval("calls.length"), "0");
    EXPECT_EQ(callsAfterTimers(), "first 1;second 1;iface 1 true");
}

TEST_F(EventHandlers, AFailingHandlerDoesNotStopTheOthers) {
    const auto api = boost::make_shared<TestAPI>();
    expose(api, "plugin");
    const FB::JSObjectPtr failing = object("plugin");
    const FB::JSObjectPtr first = object("first");
    first->callMultipleFunctions("onping", FB::variant_list_of(2), {failing, first},
                                 {failing, object("iface")});
    EXPECT_EQ(callsAfterTimers(), "first 2;iface 2 true");
}

TEST_F(EventHandlers, TheSystemsOwnHandlerRunsAtOnce) {
    const auto api = boost::make_shared<TestAPI>();
    expose(api, "plugin");
    const FB::JSObjectPtr own = object("plugin");
    own->callMultipleFunctions("setAttribute", FB::variant_list_of("key")("value"), {}, {own});
    EXPECT_EQ(api->getAttribute("key").convert_cast<std::string>(), "value");
}

TEST_F(EventHandlers, WithoutHandlersTheHelperIsStillNeeded) {
    const FB::JSObjectPtr first = object("first");
    first->callMultipleFunctions("onping", FB::VariantList(), {}, {});
    EXPECT_EQ(callsAfterTimers(), "");
    module.NPNFuncs.evaluate = nullptr;
    NPP other = page->createDetachedInstance("plugin").npp();
    FB::Npapi::NpapiBrowserHostPtr scriptless = makeHost(other);
    NPVariant function = evaluate("first");
    const FB::JSObjectPtr handler = scriptless->getVariant(&function).cast<FB::JSObjectPtr>();
    browser.functions().releasevariantvalue(&function);
    EXPECT_EQ(messageOf([&] { handler->callMultipleFunctions("onping", {}, {handler}, {}); }),
              "Error calling handlers (delegate disappeared)");
    dropHost(scriptless, other);
    module.NPNFuncs.evaluate = browser.functions().evaluate;
}

TEST_F(EventHandlers, AScriptObjectsEventsReachThePage) {
    const auto api = boost::make_shared<TestAPI>();
    expose(api, "plugin");
    page->eval("plugin.addEventListener('ping', first);"
               "plugin.addEventListener('ping', second);");
    api->fire(std::string("fired"));
    EXPECT_EQ(callsAfterTimers(), "first fired;second fired");
}

// --- Other threads ----------------------------------------------------------------------

TEST_F(EventHandlers, FromAnotherThreadTheHandlersAreQueuedForTheMainThread) {
    const FB::JSObjectPtr first = object("first");
    std::thread worker(
        [&] { first->callMultipleFunctions("onping", FB::variant_list_of(3), {first}, {}); });
    worker.join();
    EXPECT_EQ(page->eval("calls.length"), "0");
    EXPECT_EQ(callsAfterTimers(), "first 3");
}

// The browser's object functions, watched for calls off the main thread.
std::thread::id g_mainThread;
std::atomic<int> g_callsOffMainThread(0);
NPNetscapeFuncs g_browser;

void noteThread() {
    if (std::this_thread::get_id() != g_mainThread) {
        ++g_callsOffMainThread;
    }
}

void watchObjectCalls(NPNetscapeFuncs& table) {
    g_browser = table;
    g_mainThread = std::this_thread::get_id();
    g_callsOffMainThread = 0;
    table.invoke = [](NPP npp, NPObject* obj, NPIdentifier name, const NPVariant* args,
                      uint32_t count, NPVariant* result) {
        noteThread();
        return g_browser.invoke(npp, obj, name, args, count, result);
    };
    table.hasmethod = [](NPP npp, NPObject* obj, NPIdentifier name) {
        noteThread();
        return g_browser.hasmethod(npp, obj, name);
    };
    table.hasproperty = [](NPP npp, NPObject* obj, NPIdentifier name) {
        noteThread();
        return g_browser.hasproperty(npp, obj, name);
    };
    table.getproperty = [](NPP npp, NPObject* obj, NPIdentifier name, NPVariant* result) {
        noteThread();
        return g_browser.getproperty(npp, obj, name, result);
    };
    table.setproperty = [](NPP npp, NPObject* obj, NPIdentifier name, const NPVariant* value) {
        noteThread();
        return g_browser.setproperty(npp, obj, name, value);
    };
    table.enumerate = [](NPP npp, NPObject* obj, NPIdentifier** ids, uint32_t* count) {
        noteThread();
        return g_browser.enumerate(npp, obj, ids, count);
    };
}

TEST_F(PageObject, AWorkerThreadCallsThePageThroughTheMainThread) {
    watchObjectCalls(module.NPNFuncs);
    NPP watchedInstance = page->createDetachedInstance("plugin").npp();
    FB::Npapi::NpapiBrowserHostPtr watched = makeHost(watchedInstance);
    page->eval("var target = {items: [10, 20], twice: function (v) { return 2 * v; }};");
    const auto wrap = [&](const char* script) {
        NPVariant value = evaluate(script);
        const FB::JSObjectPtr wrapper = watched->getVariant(&value).cast<FB::JSObjectPtr>();
        browser.functions().releasevariantvalue(&value);
        return wrapper;
    };
    const FB::JSObjectPtr target = wrap("target");
    const FB::JSObjectPtr items = wrap("target.items");
    std::atomic<bool> done(false);
    int twice = 0;
    bool hasMethod = false, hasIndex = false, hasMissingIndex = true;
    std::string second;
    std::size_t members = 0;
    std::string refusal;
    std::thread worker([&] {
        try {
            twice = target->Invoke("twice", FB::variant_list_of(21)).convert_cast<int>();
            hasMethod = target->HasMethod("twice");
            hasIndex = items->HasProperty(1);
            hasMissingIndex = items->HasProperty(5);
            second = items->GetProperty(1).convert_cast<std::string>();
            target->SetProperty("written", std::string("by worker"));
            members = target->getMemberCount();
            refusal = messageOf([&] { target->Invoke("missing", FB::VariantList()); });
        } catch (const std::exception&) {
        }
        done = true;
        wakeMainLoop();
    });
    if (!runUntil([&] { return done.load(); })) {
        ADD_FAILURE() << "the worker's calls did not finish";
        // Ends the worker's wait, so that the failure does not become a hang.
        watched->shutdown();
    }
    worker.join();
    EXPECT_EQ(twice, 42);
    EXPECT_TRUE(hasMethod);
    EXPECT_TRUE(hasIndex);
    EXPECT_FALSE(hasMissingIndex);
    EXPECT_EQ(second, "20");
    EXPECT_EQ(page->eval("target.written"), "by worker");
    EXPECT_EQ(members, 3u);
    EXPECT_EQ(refusal, "missing");
    EXPECT_EQ(g_callsOffMainThread, 0);
    dropHost(watched, watchedInstance);
    module.NPNFuncs = g_browser;
}

TEST_F(PageObject, AWrapperDroppedOnAnotherThreadIsReleasedOnTheMainThread) {
    NPVariant array = evaluate("[1]");
    NPObject* pageArray = array.value.objectValue;
    FB::JSObjectPtr wrapper = host->getVariant(&array).cast<FB::JSObjectPtr>();
    const uint32_t held = pageArray->referenceCount;
    std::thread worker([&] { wrapper.reset(); });
    worker.join();
    EXPECT_EQ(pageArray->referenceCount, held);
    host->DoDeferredRelease();
    EXPECT_EQ(pageArray->referenceCount, held - 1);
    browser.functions().releasevariantvalue(&array);
}

} // namespace
