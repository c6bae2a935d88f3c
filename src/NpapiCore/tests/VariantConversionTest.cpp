// Values both ways between the page's NPVariants and FB::variant.

#include "NPObjectAPI.h"
#include "NpapiResources.h"
#include "NpapiTestSupport.h"
#include "utf8_tools.h"

#include <testbrowser/Page.h>

#include <boost/make_shared.hpp>
#include <functional>

using namespace npapitest;
using FB::Npapi::NPJavascriptObject;
using FB::Npapi::NPObjectAPI;
using FB::Npapi::NPVariantBlock;

namespace {

class VariantConversion : public BrowserFixture {
protected:
    // The NPVariant the binding makes for value, owned by the caller.
    NPVariant toNP(const FB::variant& value) {
        NPVariant result;
        host->getNPVariant(&result, value);
        return result;
    }

    // What the page sees of the value: the JSON text of it.
    std::string inPage(const FB::variant& value) {
        NPVariantBlock converted(module, 1);
        host->getNPVariant(&converted[0], value);
        NPObject* window = page->windowObject();
        EXPECT_TRUE(browser.functions().setproperty(npp, window, id("converted"), &converted[0]));
        browser.functions().releaseobject(window);
        return page->eval("JSON.stringify(converted)");
    }

    void release(NPVariant& value) { browser.functions().releasevariantvalue(&value); }
};

TEST_F(VariantConversion, PageValuesBecomeVariantsOfTheirType) {
    struct Case {
        const char* script;
        std::function<bool(const FB::variant&)> check;
    };
    const Case cases[] = {
        {"undefined",
         [](const FB::variant& v) { return v.is_of_type<FB::variant_detail::empty>(); }},
        {"null", [](const FB::variant& v) { return v.is_of_type<FB::variant_detail::null>(); }},
        {"true", [](const FB::variant& v) { return v.cast<bool>(); }},
        {"-7", [](const FB::variant& v) { return v.cast<int>() == -7; }},
        {"0.5", [](const FB::variant& v) { return v.cast<double>() == 0.5; }},
        {"'t\\u00e9xt'",
         [](const FB::variant& v) { return v.cast<std::string>() == "t\xC3\xA9xt"; }},
        {"[1]", [](const FB::variant& v) { return v.is_of_type<FB::JSObjectPtr>(); }},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(c.check(pageValue(c.script))) << c.script;
    }
}

TEST_F(VariantConversion, AStringKeepsItsNulBytes) {
    const char bytes[] = {'a', '\0', 'b'};
    NPVariant value;
    value.type = NPVariantType_String;
    value.value.stringValue = NPString{bytes, 3};
    EXPECT_EQ(host->getVariant(&value).cast<std::string>(), std::string(bytes, 3));
    value.value.stringValue = NPString{nullptr, 0};
    EXPECT_EQ(host->getVariant(&value).cast<std::string>(), "");
}

TEST_F(VariantConversion, AnObjectWithoutObjectIsNull) {
    NPVariant value;
    value.type = NPVariantType_Object;
    value.value.objectValue = nullptr;
    EXPECT_TRUE(host->getVariant(&value).is_null());
}

TEST_F(VariantConversion, APageObjectIsWrappedWithAReferenceOfItsOwn) {
    NPVariant array = evaluate("[1, 2]");
    NPObject* object = array.value.objectValue;
    const uint32_t before = object->referenceCount;
    FB::variant wrapped = host->getVariant(&array);
    EXPECT_EQ(object->referenceCount, before + 1);
    auto page = FB::ptr_cast<NPObjectAPI>(wrapped.cast<FB::JSObjectPtr>());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->getNPObject(), object);
    EXPECT_FALSE(page->getJSAPI());
    wrapped = FB::variant();
    EXPECT_EQ(object->referenceCount, before + 1);
    page.reset();
    EXPECT_EQ(object->referenceCount, before);
    release(array);
}

TEST_F(VariantConversion, ThePluginsOwnObjectComesBackAsItsScriptObject) {
    const auto api = boost::make_shared<TestAPI>();
    NPVariant value = toNP(FB::JSAPIPtr(api));
    const FB::JSObjectPtr back = host->getVariant(&value).cast<FB::JSObjectPtr>();
    EXPECT_EQ(back->getJSAPI(), api);
    EXPECT_EQ(back->Invoke("concat", FB::VariantList{"a", "b"}).cast<std::string>(), "ab");
    release(value);
}

TEST_F(VariantConversion, NumbersTruthValuesAndTextsTakeTheirNPAPIForms) {
    struct Case {
        FB::variant value;
        NPVariantType type;
        std::string expected; // the JSON text of the page's value
    };
    const Case cases[] = {
        {true, NPVariantType_Bool, "true"},
        {FB::variant('A', true), NPVariantType_Int32, "65"},
        {FB::variant(static_cast<unsigned char>(200), true), NPVariantType_Int32, "200"},
        {FB::variant(static_cast<short>(-3), true), NPVariantType_Int32, "-3"},
        {FB::variant(static_cast<unsigned short>(65535), true), NPVariantType_Int32, "65535"},
        {-5, NPVariantType_Int32, "-5"},
        {7u, NPVariantType_String, "\"7\""},
        {FB::variant(-9L, true), NPVariantType_String, "\"-9\""},
        {FB::variant(9UL, true), NPVariantType_String, "\"9\""},
        {FB::variant(1LL, true), NPVariantType_String, "\"1\""},
        {FB::variant(18446744073709551615ULL, true), NPVariantType_String,
         "\"18446744073709551615\""},
        {FB::variant(0.5f, true), NPVariantType_Double, "0.5"},
        {2.25, NPVariantType_Double, "2.25"},
        {std::string("text"), NPVariantType_String, "\"text\""},
        {std::wstring(L"\u00e9"), NPVariantType_String, "\"\u00e9\""},
        {FB::variant_detail::null(), NPVariantType_Null, "null"},
    };
    for (const Case& c : cases) {
        NPVariant converted = toNP(c.value);
        EXPECT_EQ(converted.type, c.type) << c.expected;
        release(converted);
        EXPECT_EQ(inPage(c.value), c.expected);
    }
}

TEST_F(VariantConversion, TextIsTheBrowsersMemoryWithATerminatorTheLengthLeavesOut) {
    NPVariant empty = toNP(std::string());
    ASSERT_EQ(empty.type, NPVariantType_String);
    EXPECT_EQ(empty.value.stringValue.UTF8Length, 0u);
    EXPECT_TRUE(browser.ledger().owns(empty.value.stringValue.UTF8Characters));
    EXPECT_EQ(empty.value.stringValue.UTF8Characters[0], '\0');
    release(empty);

    NPVariant withNul = toNP(std::string("a\0b", 3));
    EXPECT_EQ(text(withNul), std::string("a\0b", 3));
    release(withNul);

    NPVariant wide = toNP(std::wstring(L"\u00e9"));
    EXPECT_EQ(wide.value.stringValue.UTF8Length, 2u);
    EXPECT_EQ(text(wide), "\xC3\xA9");
    release(wide);
    EXPECT_EQ(browser.ledger().openBlocks(), 0u);
}

// Nothing to write still gives the browser an initialised value.
TEST_F(VariantConversion, UndefinedAndTypesWithoutAnNPAPIFormGiveVoid) {
    const char* raw = "raw";
    for (const FB::variant& value :
         {FB::variant(), FB::variant(FB::variant_detail::empty()), FB::variant(raw, true)}) {
        NPVariant converted;
        converted.type = NPVariantType_Object;
        converted.value.objectValue = reinterpret_cast<NPObject*>(0x1);
        host->getNPVariant(&converted, value);
        EXPECT_EQ(converted.type, NPVariantType_Void);
    }
}

TEST_F(VariantConversion, ListsAndMapsBecomeNewPageArraysAndObjects) {
    EXPECT_EQ(inPage(FB::VariantList()), "[]");
    const FB::VariantList nested{1, std::string("two"), FB::VariantList{3.5}};
    EXPECT_EQ(inPage(nested), "[1,\"two\",[3.5]]");
    FB::VariantMap map;
    map["b"] = 1;
    map["a"] = FB::VariantList{true};
    EXPECT_EQ(inPage(map), "{\"a\":[true],\"b\":1}");
    EXPECT_EQ(page->eval("Array.isArray(converted.a)"), "true");
}

TEST_F(VariantConversion, AListNeedsThePagesWindow) {
    const FB::Npapi::NpapiBrowserHostPtr windowless = makeHost(nullptr);
    NPVariant converted;
    NPVariantBlock::clear(converted);
    try {
        windowless->getNPVariant(&converted, FB::VariantList{1});
        FAIL() << "no window, no array";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot find HTML window");
    }
    EXPECT_EQ(converted.type, NPVariantType_Void);
    FB::Npapi::NpapiBrowserHostPtr dropped = windowless;
    dropHost(dropped, nullptr);
}

TEST_F(VariantConversion, AScriptObjectIsOneNPObjectRetainedPerConversion) {
    const auto api = boost::make_shared<TestAPI>();
    NPVariant first = toNP(FB::JSAPIPtr(api));
    NPVariant second = toNP(FB::JSAPIPtr(api));
    ASSERT_EQ(first.type, NPVariantType_Object);
    EXPECT_EQ(first.value.objectValue, second.value.objectValue);
    EXPECT_EQ(first.value.objectValue->referenceCount, 2u);
    EXPECT_TRUE(NPJavascriptObject::isNPJavaScriptObject(first.value.objectValue));
    release(first);
    release(second);
    NPVariant none = toNP(FB::variant(FB::JSAPIPtr(), true));
    EXPECT_EQ(none.type, NPVariantType_Null);
}

// The page keeps a script object alive only when it was handed over by a
// shared pointer.
TEST_F(VariantConversion, AWeakScriptObjectIsNotKeptAliveByThePage) {
    auto kept = boost::make_shared<TestAPI>();
    auto loose = boost::make_shared<TestAPI>();
    boost::weak_ptr<TestAPI> keptWatch = kept, looseWatch = loose;
    NPVariant keptValue = toNP(FB::JSAPIPtr(kept));
    NPVariant looseValue = toNP(FB::variant(boost::weak_ptr<FB::JSAPI>(loose), true));
    ASSERT_EQ(looseValue.type, NPVariantType_Object);
    kept.reset();
    loose.reset();
    EXPECT_FALSE(keptWatch.expired());
    EXPECT_TRUE(looseWatch.expired());
    NPVariant gone = toNP(FB::variant(boost::weak_ptr<FB::JSAPI>(looseWatch.lock()), true));
    EXPECT_EQ(gone.type, NPVariantType_Null);
    release(keptValue);
    release(looseValue);
    EXPECT_TRUE(keptWatch.expired());
}

TEST_F(VariantConversion, APageObjectGoesBackAsItsOwnNPObject) {
    NPVariant array = evaluate("[1]");
    const FB::variant wrapped = host->getVariant(&array);
    NPVariant back = toNP(wrapped);
    ASSERT_EQ(back.type, NPVariantType_Object);
    EXPECT_EQ(back.value.objectValue, array.value.objectValue);
    release(back);
    release(array);
}

// A page object of another kind than the browser's is handed over in an
// NPObject of the plug-in's class.
class ForeignObject : public FB::JSObject {
public:
    explicit ForeignObject(const boost::shared_ptr<FB::BrowserHost>& host) : FB::JSObject(host) {}
    void invalidate() override {}
    void getMemberNames(std::vector<std::string>& names) const override { names.clear(); }
    std::size_t getMemberCount() const override { return 0; }
    bool HasMethod(const std::string&) const override { return false; }
    bool HasProperty(const std::string& name) const override { return name == "answer"; }
    bool HasProperty(int) const override { return false; }
    FB::variant GetProperty(const std::string&) override { return 42; }
    void SetProperty(const std::string&, const FB::variant&) override {}
    FB::variant GetProperty(int) override { return FB::variant(); }
    void SetProperty(int, const FB::variant&) override {}
    void RemoveProperty(const std::string&) override {}
    void RemoveProperty(int) override {}
    FB::variant Invoke(const std::string&, const FB::VariantList&) override { return 0; }
    FB::variant Construct(const FB::VariantList&) override { return 0; }
    bool isValid() override { return true; }
    FB::JSAPIPtr getJSAPI() const override { return FB::JSAPIPtr(); }
};

TEST_F(VariantConversion, AnotherKindOfPageObjectIsHandedOverInANewNPObject) {
    const auto foreign = boost::make_shared<ForeignObject>(host);
    inPage(FB::JSObjectPtr(foreign));
    EXPECT_EQ(page->eval("converted.answer"), "42");
    NPVariant value = toNP(FB::JSObjectPtr(foreign));
    ASSERT_EQ(value.type, NPVariantType_Object);
    EXPECT_TRUE(NPJavascriptObject::isNPJavaScriptObject(value.value.objectValue));
    release(value);
}

} // namespace
