// The NPObject through which the page sees a script object: its callbacks
// as the browser calls them, and calls from the page's own script.

#include "FreedBlockScan.h"
#include "NpapiResources.h"
#include "NpapiTestSupport.h"

#include <testbrowser/Page.h>

#include <algorithm>
#include <boost/make_shared.hpp>

using namespace npapitest;
using FB::Npapi::NPJavascriptObject;
using FB::Npapi::NPVariantBlock;

namespace {

class ScriptableObject : public BrowserFixture {
protected:
    void SetUp() override {
        BrowserFixture::SetUp();
        api = boost::make_shared<TestAPI>();
        object = expose(api, "plugin");
    }

    NPClass& cls() { return *object->_class; }

    NPVariant stringArg(const std::string& value) {
        NPVariant result;
        host->getNPVariant(&result, value);
        return result;
    }

    // The browser's view of the callbacks, each on object.
    bool hasMethod(const std::string& name) { return cls().hasMethod(object, id(name)); }
    bool hasProperty(const std::string& name) { return cls().hasProperty(object, id(name)); }
    std::vector<std::string> exceptions() { return browser.records().exceptionsSet; }

    boost::shared_ptr<TestAPI> api;
    NPObject* object = nullptr;
};

TEST_F(ScriptableObject, MethodsAreOfferedAsFunctionObjectProperties) {
    EXPECT_TRUE(hasMethod("toString"));
    EXPECT_FALSE(hasProperty("toString"));
    EXPECT_FALSE(hasMethod("concat"));
    EXPECT_TRUE(hasProperty("concat"));
    EXPECT_TRUE(hasProperty("name"));
    EXPECT_FALSE(hasMethod("name"));
    for (const char* builtIn : {"addEventListener", "removeEventListener", "getLastException"}) {
        EXPECT_TRUE(hasProperty(builtIn)) << builtIn;
    }
}

TEST_F(ScriptableObject, AMethodRunsByNameAndThroughItsFunctionObject) {
    NPVariantBlock args(module, 2);
    args[0] = stringArg("sign");
    args[1] = stringArg("ed");
    NPVariantBlock result(module, 1);
    ASSERT_TRUE(cls().invoke(object, id("concat"), args.data(), 2, &result[0]));
    EXPECT_EQ(text(result[0]), "signed");
    EXPECT_TRUE(browser.ledger().owns(result[0].value.stringValue.UTF8Characters));
    result.release(0);

    NPVariantBlock function(module, 1);
    ASSERT_TRUE(cls().getProperty(object, id("concat"), &function[0]));
    ASSERT_EQ(function[0].type, NPVariantType_Object);
    NPObject* method = function[0].value.objectValue;
    EXPECT_TRUE(method->_class->hasMethod(method, id("call")));
    EXPECT_TRUE(method->_class->hasMethod(method, id("apply")));
    ASSERT_TRUE(method->_class->invokeDefault(method, args.data(), 2, &result[0]));
    EXPECT_EQ(text(result[0]), "signed");
    EXPECT_EQ(page->eval("plugin.concat('a', 'b') + plugin.concat.call(null, 'c', 'd')"), "abcd");
}

// A page that calls plugin.concat(...) reads the method's function object for
// each call and lets it go after; the built-in members ("addEventListener"...)
// of its NPObject are made only for a page that reads one.
TEST_F(ScriptableObject, AFunctionObjectReadForOneCallMakesNoBuiltInMembers) {
    NPVariantBlock function(module, 1);
    const auto readAndRelease = [&] {
        ASSERT_TRUE(cls().getProperty(object, id("concat"), &function[0]));
        function.release(0);
    };
    readAndRelease(); // the script object makes the method object once
    // The NPObject and its bookkeeping take 7 blocks; the three built-in
    // members made with it would take 83 more.
    EXPECT_LE(blocksAllocated(readAndRelease), 10);
    EXPECT_EQ(page->eval("plugin.concat.addEventListener.toString()"), "attachEvent()");
}

TEST_F(ScriptableObject, PropertiesAreReadAndWritten) {
    NPVariantBlock value(module, 1);
    value[0] = stringArg("renamed");
    ASSERT_TRUE(cls().setProperty(object, id("name"), &value[0]));
    EXPECT_EQ(api->getName(), "renamed");
    NPVariantBlock result(module, 1);
    ASSERT_TRUE(cls().getProperty(object, id("name"), &result[0]));
    EXPECT_EQ(text(result[0]), "renamed");
    EXPECT_EQ(page->eval("plugin.name = 'page'; plugin.name"), "page");
}

TEST_F(ScriptableObject, AMethodCannotBeReplaced) {
    NPVariantBlock value(module, 1);
    value[0] = stringArg("x");
    EXPECT_FALSE(cls().setProperty(object, id("concat"), &value[0]));
    EXPECT_EQ(exceptions(), std::vector<std::string>{"This property cannot be changed"});
    browser.takeException();
    EXPECT_EQ(page->eval("plugin.getLastException()"), "This property cannot be changed");
}

TEST_F(ScriptableObject, IntegerIdentifiersReachTheIndexedMembers) {
    NPIdentifier two = browser.functions().getintidentifier(2);
    NPVariantBlock value(module, 1);
    value[0] = stringArg("second");
    EXPECT_TRUE(cls().hasProperty(object, two)) << "dynamic attributes are allowed";
    ASSERT_TRUE(cls().setProperty(object, two, &value[0]));
    EXPECT_EQ(api->GetProperty(2).convert_cast<std::string>(), "second");
    NPVariantBlock result(module, 1);
    ASSERT_TRUE(cls().getProperty(object, two, &result[0]));
    EXPECT_EQ(text(result[0]), "second");
    result.release(0);
    EXPECT_TRUE(cls().removeProperty(object, two));
    EXPECT_THROW(api->GetProperty(2).convert_cast<std::string>(), std::bad_cast);
    EXPECT_TRUE(exceptions().empty());
}

TEST_F(ScriptableObject, TheCallWithoutANameReachesTheObjectItself) {
    NPVariantBlock result(module, 1);
    EXPECT_FALSE(cls().invokeDefault(object, nullptr, 0, &result[0]));
    EXPECT_FALSE(
        cls().invoke(object, browser.functions().getintidentifier(0), nullptr, 0, &result[0]));
    EXPECT_EQ(exceptions(), std::vector<std::string>(2, "The specified member does not exist: "));
}

TEST_F(ScriptableObject, EnumerationListsTheMembersThenTheBuiltIns) {
    NPIdentifier* ids = nullptr;
    uint32_t count = 0;
    ASSERT_TRUE(cls().enumerate(object, &ids, &count));
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; ++i) {
        names.push_back(module.StringFromIdentifier(ids[i]));
    }
    module.MemFree(ids);
    const std::vector<std::string> expected{"concat",
                                            "echo",
                                            "fail",
                                            "failOther",
                                            "failPlain",
                                            "fire",
                                            "getAttribute",
                                            "name",
                                            "setAttribute",
                                            "toString",
                                            "valid",
                                            "value",
                                            "addEventListener",
                                            "removeEventListener",
                                            "getLastException"};
    EXPECT_EQ(names, expected);
}

TEST_F(ScriptableObject, ScriptErrorsReachThePageAndOtherFailuresAreQuiet) {
    NPVariantBlock arg(module, 1);
    arg[0] = stringArg("boom");
    NPVariant result;
    result.type = NPVariantType_Object;
    EXPECT_FALSE(cls().invoke(object, id("fail"), arg.data(), 1, &result));
    EXPECT_EQ(result.type, NPVariantType_Void);
    EXPECT_EQ(exceptions(), std::vector<std::string>{"boom"});
    browser.takeException();
    for (const char* quiet : {"failPlain", "failOther"}) {
        result.type = NPVariantType_Object;
        EXPECT_FALSE(cls().invoke(object, id(quiet), nullptr, 0, &result)) << quiet;
        EXPECT_EQ(result.type, NPVariantType_Void);
    }
    EXPECT_EQ(exceptions().size(), 1u);
    EXPECT_TRUE(browser.records().boundaryFaults.empty());
    EXPECT_EQ(page->eval("plugin.getLastException()"), "boom");
    EXPECT_EQ(page->eval("try { plugin.fail('again'); 'no' } catch (e) { e.message }"), "again");
    const std::string refused =
        page->eval("try { plugin.concat('one'); 'no' } catch (e) { e.message }");
    EXPECT_EQ(refused, "Error: Argument 2is not optional.");
    EXPECT_EQ(page->eval("plugin.getLastException()"), refused);
}

TEST_F(ScriptableObject, WithoutTheBrowsersMemoryACallFailsQuietly) {
    NPVariantBlock args(module, 2);
    args[0] = stringArg("a");
    args[1] = stringArg("b");
    NPVariantBlock result(module, 1);
    module.NPNFuncs.memalloc = [](uint32_t) -> void* { return nullptr; };
    EXPECT_FALSE(cls().invoke(object, id("concat"), args.data(), 2, &result[0]));
    EXPECT_EQ(result[0].type, NPVariantType_Void);
    NPIdentifier* ids = reinterpret_cast<NPIdentifier*>(0x1);
    uint32_t count = 7;
    EXPECT_FALSE(cls().enumerate(object, &ids, &count));
    EXPECT_EQ(ids, reinterpret_cast<NPIdentifier*>(0x1));
    EXPECT_EQ(count, 7u);
    EXPECT_TRUE(exceptions().empty());
    module.NPNFuncs.memalloc = browser.functions().memalloc;
}

TEST_F(ScriptableObject, ValuesReachTheScriptObjectAndComeBack) {
    EXPECT_EQ(page->eval("JSON.stringify(plugin.echo([1, 'two', {three: 3}]))"),
              "[1,\"two\",{\"three\":3}]");
    EXPECT_EQ(page->eval("plugin.echo(plugin).concat('x', 'y')"), "xy");
    EXPECT_EQ(page->eval("typeof plugin.echo(undefined)"), "undefined");
    EXPECT_EQ(page->eval("plugin.echo(null) === null"), "true");
}

// --- Built-in members ---------------------------------------------------------------

TEST_F(ScriptableObject, EventListenersAreAddedAndRemovedByTheirEventName) {
    page->eval("var got = []; function onPing(v) { got.push(v); }"
               "plugin.addEventListener('ping', onPing);");
    api->fire(1);
    ASSERT_TRUE(runUntil([&] { return page->eval("got.length") == "1"; }));
    EXPECT_EQ(page->eval("got[0]"), "1");
    page->eval("plugin.removeEventListener('ping', onPing, false);");
    api->fire(2);
    browser.runUntilIdle(std::chrono::seconds(1));
    EXPECT_EQ(page->eval("got.join()"), "1");
    EXPECT_EQ(page->eval("plugin.addEventListener.toString()"), "attachEvent()");
    EXPECT_EQ(page->eval("plugin.removeEventListener.toString()"), "detachEvent()");
}

// The page reads one object for each built-in member, however often it
// reads it: it may compare two reads, or keep one and find it again.
TEST_F(ScriptableObject, EveryReadOfABuiltInMemberGivesTheSameObject) {
    for (const char* builtIn : {"addEventListener", "removeEventListener", "getLastException"}) {
        NPVariantBlock reads(module, 2);
        ASSERT_TRUE(cls().getProperty(object, id(builtIn), &reads[0])) << builtIn;
        ASSERT_TRUE(cls().getProperty(object, id(builtIn), &reads[1])) << builtIn;
        ASSERT_EQ(reads[0].type, NPVariantType_Object) << builtIn;
        ASSERT_EQ(reads[1].type, NPVariantType_Object) << builtIn;
        EXPECT_EQ(reads[0].value.objectValue, reads[1].value.objectValue) << builtIn;
    }
}

TEST_F(ScriptableObject, AListenerCallWithTheWrongArgumentsIsRefused) {
    for (const char* call :
         {"plugin.addEventListener('load')", "plugin.addEventListener('a', function () {}, 1, 2)",
          "plugin.removeEventListener()"}) {
        EXPECT_EQ(page->eval(std::string("try { ") + call + "; 'no' } catch (e) { e.message }"),
                  "Invalid Arguments")
            << call;
        EXPECT_EQ(page->eval("plugin.getLastException()"), "Invalid Arguments");
    }
    EXPECT_EQ(page->eval("try { plugin.addEventListener('a', null); 'no' } catch (e) { 'yes' }"),
              "yes");
}

// The member object may outlive its owner: it then refuses, and nothing is
// read from the owner's freed memory (the sanitizer build would see it).
TEST_F(ScriptableObject, ABuiltInMemberWhoseOwnerIsGoneRefusesToRun) {
    page->eval("var add = plugin.addEventListener; var last = plugin.getLastException;"
               "plugin = null;");
    ASSERT_FALSE(browser.isLiveObject(object)) << "the page held the owner's last reference";
    EXPECT_EQ(page->eval("try { add('ping', function () {}); 'no' } catch (e) { e.message }"),
              "Invalid Arguments");
    EXPECT_EQ(page->eval("try { last(); 'no' } catch (e) { e.message }"), "Invalid Arguments");
}

// The browser has invalidated the owner, but the page may still read the
// text of the failure it last saw.
TEST_F(ScriptableObject, TheLastExceptionIsReadableOnceTheOwnerIsNoLongerValid) {
    page->eval("var last = plugin.getLastException; try { plugin.fail('why'); } catch (e) {}");
    cls().invalidate(object);
    EXPECT_EQ(page->eval("try { plugin.concat('a', 'b'); 'ran' } catch (e) { 'refused' }"),
              "refused");
    EXPECT_EQ(page->eval("last()"), "why");
}

TEST_F(ScriptableObject, BeforeAnyErrorTheLastExceptionIsUndefined) {
    EXPECT_EQ(page->eval("typeof plugin.getLastException()"), "undefined");
}

// Two instances of the plug-in on one page: one must not read the other's
// error text.
TEST_F(ScriptableObject, TheLastExceptionBelongsToItsInstance) {
    NPP otherInstance = page->createDetachedInstance("plugin").npp();
    FB::Npapi::NpapiBrowserHostPtr otherHost = makeHost(otherInstance);
    const auto otherApi = boost::make_shared<TestAPI>();
    NPObject* otherObject = otherHost->getJSAPIWrapper(otherApi, true);
    NPObject* window = page->windowObject();
    NPVariant value;
    value.type = NPVariantType_Object;
    value.value.objectValue = otherObject;
    browser.functions().setproperty(npp, window, id("other"), &value);
    browser.functions().releaseobject(window);
    browser.functions().releaseobject(otherObject);

    page->eval("try { plugin.fail('secret of the first'); } catch (e) {}");
    EXPECT_EQ(page->eval("typeof other.getLastException()"), "undefined");
    EXPECT_EQ(page->eval("plugin.getLastException()"), "secret of the first");
    const auto second = boost::make_shared<TestAPI>();
    expose(second, "sameInstance");
    EXPECT_EQ(page->eval("sameInstance.getLastException()"), "secret of the first");

    page->eval("other = null;");
    dropHost(otherHost, otherInstance);
}

// --- Lifetime -------------------------------------------------------------------------

TEST_F(ScriptableObject, AnObjectWhoseScriptObjectIsGoneAnswersFalseQuietly) {
    auto loose = boost::make_shared<TestAPI>();
    object = host->getJSAPIWrapper(loose, false);
    loose.reset();
    NPVariantBlock result(module, 1);
    NPIdentifier* ids = nullptr;
    uint32_t count = 0;
    EXPECT_FALSE(hasMethod("toString"));
    EXPECT_FALSE(hasProperty("addEventListener"));
    EXPECT_FALSE(cls().invoke(object, id("concat"), nullptr, 0, &result[0]));
    EXPECT_FALSE(cls().getProperty(object, id("name"), &result[0]));
    EXPECT_FALSE(cls().setProperty(object, id("name"), &result[0]));
    EXPECT_FALSE(cls().removeProperty(object, id("name")));
    EXPECT_FALSE(cls().enumerate(object, &ids, &count));
    EXPECT_FALSE(cls().construct(object, nullptr, 0, &result[0]));
    EXPECT_TRUE(exceptions().empty());
    host->ReleaseObject(object);
}

TEST_F(ScriptableObject, TheBrowsersInvalidationInvalidatesTheScriptObject) {
    cls().invalidate(object);
    EXPECT_THROW(api->Invoke("concat", FB::VariantList{"a", "b"}), FB::object_invalidated);
    EXPECT_FALSE(hasMethod("toString"));
}

TEST_F(ScriptableObject, AnObjectMadeWithAutoReleaseKeepsItsScriptObjectUntilItGoes) {
    auto held = boost::make_shared<TestAPI>();
    boost::weak_ptr<TestAPI> watch = held;
    NPObject* kept = NPJavascriptObject::NewObject(host, held, true);
    held.reset();
    EXPECT_FALSE(watch.expired());
    host->ReleaseObject(kept);
    EXPECT_TRUE(watch.expired());
}

TEST_F(ScriptableObject, ABrowserThatMakesNoObjectGetsNone) {
    module.NPNFuncs.createobject = nullptr;
    FB::Npapi::NpapiBrowserHostPtr second = makeHost(nullptr);
    EXPECT_EQ(NPJavascriptObject::NewObject(second, api, true), nullptr);
    EXPECT_EQ(second->getJSAPIWrapper(api, true), nullptr);
    dropHost(second, nullptr);
    module.NPNFuncs.createobject = browser.functions().createobject;
}

} // namespace
