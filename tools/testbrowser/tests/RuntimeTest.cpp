// The browser's NPN functions used in-process, as the binding's tests use them.
#include <testbrowser/Browser.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace testbrowser;

namespace {

// A module-side class that counts its calls. Its method "whileCalled" runs
// the hook of that name and then records whether the object is still alive.
struct Counted : NPObject {
    static int deallocated;
    static std::vector<std::string> calls;
    static std::function<void()> whileCalled;
};
int Counted::deallocated = 0;
std::vector<std::string> Counted::calls;
std::function<void()> Counted::whileCalled;

NPObject* allocateCounted(NPP, NPClass*) {
    return new Counted;
}
void deallocateCounted(NPObject* object) {
    ++Counted::deallocated;
    delete static_cast<Counted*>(object);
}
bool countedHasMethod(NPObject*, NPIdentifier name) {
    return Browser::current()->functions().identifierisstring(name);
}
bool countedInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                   NPVariant* result) {
    const NPNetscapeFuncs& npn = Browser::current()->functions();
    NPUTF8* text = npn.utf8fromidentifier(name);
    std::string method = text;
    npn.memfree(text);
    Counted::calls.push_back(method + "/" + std::to_string(count));
    if (method == "fail") {
        npn.setexception(object, "failed on purpose");
        return false;
    }
    if (method == "whileCalled") {
        Counted::whileCalled();
        Counted::calls.push_back(Browser::current()->isLiveObject(object) ? "alive" : "gone");
    }
    result->type = NPVariantType_Int32;
    result->value.intValue = count ? args[0].type : -1;
    return true;
}

NPClass countedClass = {NP_CLASS_STRUCT_VERSION,
                        allocateCounted,
                        deallocateCounted,
                        nullptr,
                        countedHasMethod,
                        countedInvoke,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr};

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        Counted::deallocated = 0;
        Counted::calls.clear();
        Counted::whileCalled = nullptr;
        page = &browser.openPage("<div id='box'></div>");
        npp = page->createDetachedInstance("box").npp();
    }

    NPIdentifier name(const char* text) { return npn.getstringidentifier(text); }

    NPObject* window() {
        NPObject* object = nullptr;
        EXPECT_EQ(npn.getvalue(npp, NPNVWindowNPObject, &object), NPERR_NO_ERROR);
        return object;
    }

    NPVariant evaluate(const char* script) {
        NPObject* win = window();
        NPString text{script, static_cast<uint32_t>(std::strlen(script))};
        NPVariant result;
        EXPECT_TRUE(npn.evaluate(npp, win, &text, &result)) << script;
        npn.releaseobject(win);
        return result;
    }

    Browser browser;
    NPNetscapeFuncs& npn = browser.functions();
    Page* page = nullptr;
    NPP npp = nullptr;
};

TEST_F(RuntimeTest, TableHasItsSizeVersionAndEveryEntryCanBeRemoved) {
    EXPECT_EQ(npn.size, sizeof(NPNetscapeFuncs));
    EXPECT_EQ(npn.version, NP_VERSION_MINOR);
    EXPECT_EQ(Browser::functionNames().size(), 58u);
    ASSERT_NE(npn.scheduletimer, nullptr);
    browser.removeFunction("scheduletimer");
    EXPECT_EQ(npn.scheduletimer, nullptr);
    EXPECT_NE(npn.unscheduletimer, nullptr);
    EXPECT_THROW(browser.removeFunction("nosuchentry"), std::invalid_argument);
}

TEST(BrowserOptions, ChosenVersionAndRemovedEntries) {
    BrowserOptions options;
    options.version = 18;
    options.removedFunctions = {"memalloc", "pluginthreadasynccall"};
    Browser browser(options);
    EXPECT_EQ(browser.functions().version, 18);
    EXPECT_EQ(browser.functions().memalloc, nullptr);
    EXPECT_EQ(browser.functions().pluginthreadasynccall, nullptr);
    EXPECT_NE(browser.functions().memfree, nullptr);
}

TEST_F(RuntimeTest, PageValuesReachTheModuleAsNPVariantsItMustRelease) {
    struct Case {
        const char* script;
        NPVariantType type;
    };
    const Case cases[] = {
        {"undefined", NPVariantType_Void},    {"null", NPVariantType_Null},
        {"true", NPVariantType_Bool},         {"-7", NPVariantType_Int32},
        {"0.5", NPVariantType_Double},        {"-0", NPVariantType_Double},
        {"4294967296", NPVariantType_Double}, {"'t\\u00e9xt'", NPVariantType_String},
        {"[1, 2]", NPVariantType_Object},     {"(function () {})", NPVariantType_Object}};
    for (const Case& c : cases) {
        NPVariant value = evaluate(c.script);
        EXPECT_EQ(value.type, c.type) << c.script;
        npn.releasevariantvalue(&value);
        EXPECT_EQ(value.type, NPVariantType_Void);
    }
    NPVariant text = evaluate("'t\\u00e9xt'");
    EXPECT_EQ(std::string(text.value.stringValue.UTF8Characters, text.value.stringValue.UTF8Length),
              "t\xC3\xA9xt");
    EXPECT_TRUE(browser.ledger().owns(text.value.stringValue.UTF8Characters));
    npn.releasevariantvalue(&text);
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
}

TEST_F(RuntimeTest, OneScriptObjectIsOneNPObjectWhileItLives) {
    NPObject* win = window();
    NPVariant first, second;
    ASSERT_TRUE(npn.getproperty(npp, win, name("document"), &first));
    ASSERT_TRUE(npn.getproperty(npp, win, name("document"), &second));
    ASSERT_EQ(first.type, NPVariantType_Object);
    EXPECT_EQ(first.value.objectValue, second.value.objectValue);
    EXPECT_EQ(first.value.objectValue->referenceCount, 2u);
    npn.releasevariantvalue(&first);
    npn.releasevariantvalue(&second);
    npn.releaseobject(win);
    EXPECT_EQ(browser.liveObjects(), 0u);
}

TEST_F(RuntimeTest, ModuleCallsPageFunctionsArraysAndProperties) {
    NPObject* win = window();
    NPVariant array;
    ASSERT_TRUE(npn.invoke(npp, win, name("Array"), nullptr, 0, &array));
    NPVariant element;
    element.type = NPVariantType_Int32;
    element.value.intValue = 42;
    NPVariant ignored;
    ASSERT_TRUE(npn.invoke(npp, array.value.objectValue, name("push"), &element, 1, &ignored));
    NPVariant length;
    ASSERT_TRUE(npn.getproperty(npp, array.value.objectValue, name("length"), &length));
    EXPECT_EQ(length.value.intValue, 1);
    NPVariant first;
    ASSERT_TRUE(npn.getproperty(npp, array.value.objectValue, npn.getintidentifier(0), &first));
    EXPECT_EQ(first.value.intValue, 42);
    EXPECT_TRUE(npn.hasproperty(npp, array.value.objectValue, npn.getintidentifier(0)));
    EXPECT_TRUE(npn.hasmethod(npp, array.value.objectValue, name("push")));
    EXPECT_FALSE(npn.hasmethod(npp, array.value.objectValue, name("length")));
    ASSERT_TRUE(npn.setproperty(npp, win, name("fromModule"), &array));
    EXPECT_EQ(page->eval("fromModule[0]"), "42");
    NPIdentifier* names = nullptr;
    uint32_t count = 0;
    ASSERT_TRUE(npn.enumerate(npp, array.value.objectValue, &names, &count));
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(names[0], npn.getintidentifier(0));
    npn.memfree(names);
    npn.releasevariantvalue(&array);
    npn.releaseobject(win);
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

TEST_F(RuntimeTest, PageExceptionsInsideNPNCallsComeBackAsFalse) {
    page->eval("function thrower() { throw new Error('inside'); }");
    NPObject* win = window();
    NPVariant result;
    EXPECT_FALSE(npn.invoke(npp, win, name("thrower"), nullptr, 0, &result));
    EXPECT_EQ(result.type, NPVariantType_Void);
    EXPECT_FALSE(npn.invoke(npp, win, name("noSuchFunction"), nullptr, 0, &result));
    NPString bad{"(", 1};
    EXPECT_FALSE(npn.evaluate(npp, win, &bad, &result));
    page->eval("var guarded = {set secret(v) { throw new Error('refused'); }};");
    NPVariant guarded;
    ASSERT_TRUE(npn.getproperty(npp, win, name("guarded"), &guarded));
    NPVariant value;
    value.type = NPVariantType_Int32;
    value.value.intValue = 1;
    EXPECT_FALSE(npn.setproperty(npp, guarded.value.objectValue, name("secret"), &value));
    npn.releasevariantvalue(&guarded);
    EXPECT_EQ(browser.records().scriptErrorsSeen.size(), 3u);
    EXPECT_TRUE(browser.pageErrors().empty());
    npn.releaseobject(win);
}

TEST_F(RuntimeTest, ModuleObjectsInThePageGoThroughTheirClassAndAreReleasedWhenCollected) {
    NPObject* object = npn.createobject(npp, &countedClass);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->referenceCount, 1u);
    NPObject* win = window();
    NPVariant value;
    value.type = NPVariantType_Object;
    value.value.objectValue = object;
    ASSERT_TRUE(npn.setproperty(npp, win, name("counted"), &value));
    EXPECT_EQ(object->referenceCount, 2u);
    npn.releaseobject(object);
    EXPECT_EQ(page->eval("counted.anything('a', 2)"), std::to_string(NPVariantType_String));
    EXPECT_EQ(page->eval("try { counted.fail(); 'no' } catch (e) { e.message }"),
              "failed on purpose");
    EXPECT_EQ(Counted::calls, (std::vector<std::string>{"anything/2", "fail/0"}));
    page->eval("counted = null;");
    EXPECT_EQ(Counted::deallocated, 1);
    npn.releaseobject(win);
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

// Its instance destroyed while one of its calls runs lets go the page's
// references to a module object; the object stays until the call returns.
TEST_F(RuntimeTest, AModuleObjectOutlivesItsInstanceUntilItsCallReturns) {
    PluginInstance& owner = page->createDetachedInstance("owner");
    NPObject* object = npn.createobject(owner.npp(), &countedClass);
    NPObject* win = window();
    NPVariant value;
    value.type = NPVariantType_Object;
    value.value.objectValue = object;
    ASSERT_TRUE(npn.setproperty(npp, win, name("counted"), &value));
    npn.releaseobject(object);
    npn.releaseobject(win);
    Counted::whileCalled = [&] { page->removeInstance(owner); };
    page->eval("counted.whileCalled()");
    EXPECT_EQ(Counted::calls, (std::vector<std::string>{"whileCalled/0", "alive"}));
    EXPECT_EQ(Counted::deallocated, 1);
    EXPECT_EQ(page->eval("try { counted.whileCalled(); } catch (e) { e.message }"),
              "The plug-in object is no longer valid");
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

TEST_F(RuntimeTest, ReferenceCountsDecideDeallocationAndStrayReleasesAreRecorded) {
    NPObject* object = npn.createobject(npp, &countedClass);
    EXPECT_EQ(npn.retainobject(object), object);
    npn.releaseobject(object);
    EXPECT_EQ(Counted::deallocated, 0);
    npn.releaseobject(object);
    EXPECT_EQ(Counted::deallocated, 1);
    npn.releaseobject(object);
    EXPECT_EQ(browser.records().unknownReleases.size(), 1u);
    EXPECT_FALSE(browser.clean());
}

TEST_F(RuntimeTest, TimersAndAsyncCallsRunOnTheMainLoopForLiveInstancesOnly) {
    static std::vector<uint32_t> fired;
    fired.clear();
    uint32_t repeating =
        npn.scheduletimer(npp, 100, true, [](NPP, uint32_t id) { fired.push_back(id); });
    uint32_t once =
        npn.scheduletimer(npp, 150, false, [](NPP, uint32_t id) { fired.push_back(id); });
    browser.runFor(std::chrono::milliseconds(350));
    EXPECT_EQ(fired, (std::vector<uint32_t>{repeating, once, repeating, repeating}));
    npn.unscheduletimer(npp, repeating);
    EXPECT_TRUE(browser.runUntilIdle(std::chrono::seconds(1)));
    static int calls;
    calls = 0;
    npn.pluginthreadasynccall(
        npp, [](void*) { ++calls; }, nullptr);
    PluginInstance& other = page->createDetachedInstance("other");
    npn.pluginthreadasynccall(
        other.npp(), [](void*) { ++calls; }, nullptr);
    page->removeInstance(other);
    browser.runPending();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(browser.records().asyncCallsDropped, 1u);
}

TEST_F(RuntimeTest, IdentifierTextsAreCopiesTheModuleFrees) {
    NPUTF8* text = npn.utf8fromidentifier(name("member"));
    EXPECT_STREQ(text, "member");
    EXPECT_TRUE(browser.ledger().owns(text));
    npn.memfree(text);
    EXPECT_EQ(npn.utf8fromidentifier(npn.getintidentifier(5)), nullptr);
    EXPECT_EQ(npn.intfromidentifier(npn.getintidentifier(5)), 5);
    EXPECT_FALSE(npn.identifierisstring(npn.getintidentifier(5)));
    const NPUTF8* names[] = {"a", "b"};
    NPIdentifier ids[2];
    npn.getstringidentifiers(names, 2, ids);
    EXPECT_EQ(ids[1], name("b"));
}

} // namespace
