#include "JSAPI.h"
#include "JSExceptions.h"
#include "TestObjects.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utf8.h>
#include <vector>

namespace {

using FB::variant;

// Records every call that reaches a narrow, std::string form.
class RecordingObject : public StubMembers<FB::JSAPI> {
public:
    mutable std::vector<std::string> calls;
    std::vector<std::string> memberNames;
    FB::JSAPIPtr methodObject = boost::make_shared<StubScriptObject>();
    FB::JSObjectPtr lastHandler;

    void getMemberNames(std::vector<std::string>& names) const override { names = memberNames; }
    bool HasMethod(const std::string& name) const override { return record("HasMethod", name); }
    bool HasMethodObject(const std::string& name) const override {
        return record("HasMethodObject", name);
    }
    bool HasProperty(const std::string& name) const override { return record("HasProperty", name); }
    FB::JSAPIPtr GetMethodObject(const std::string& name) override {
        record("GetMethodObject", name);
        return methodObject;
    }
    variant GetProperty(const std::string& name) override {
        record("GetProperty", name);
        return variant(42);
    }
    void SetProperty(const std::string& name, const variant& value) override {
        record("SetProperty", name + "=" + value.convert_cast<std::string>());
    }
    void RemoveProperty(const std::string& name) override { record("RemoveProperty", name); }
    variant Invoke(const std::string& name, const FB::VariantList& args) override {
        record("Invoke", name);
        return variant(static_cast<int>(args.size()));
    }
    void registerEventMethod(const std::string& name, FB::JSObjectPtr& handler) override {
        record("registerEventMethod", name);
        lastHandler = handler;
    }
    void unregisterEventMethod(const std::string& name, FB::JSObjectPtr& handler) override {
        record("unregisterEventMethod", name);
        lastHandler = handler;
    }

private:
    bool record(const std::string& operation, const std::string& argument) const {
        calls.push_back(operation + ":" + argument);
        return true;
    }
};

const std::wstring wideName = L"na\u00efve";
const std::string utf8Name = "na\xC3\xAFve";

TEST(JSAPI, WideFormsReachTheNarrowOverrideWithTheUtf8Name) {
    struct Case {
        std::string recorded;
        std::function<void(FB::JSAPI&, RecordingObject&)> callWide;
    };
    FB::JSObjectPtr handler = boost::make_shared<StubPageObject>();
    const Case cases[] = {
        {"HasMethod:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject&) { EXPECT_TRUE(o.HasMethod(wideName)); }},
        {"HasMethodObject:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject&) { EXPECT_TRUE(o.HasMethodObject(wideName)); }},
        {"HasProperty:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject&) { EXPECT_TRUE(o.HasProperty(wideName)); }},
        {"GetMethodObject:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject& r) {
             EXPECT_EQ(o.GetMethodObject(wideName), r.methodObject);
         }},
        {"GetProperty:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject&) {
             EXPECT_EQ(o.GetProperty(wideName).cast<int>(), 42);
         }},
        {"SetProperty:" + utf8Name + "=7",
         [](FB::JSAPI& o, RecordingObject&) { o.SetProperty(wideName, variant(7)); }},
        {"RemoveProperty:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject&) { o.RemoveProperty(wideName); }},
        {"Invoke:" + utf8Name,
         [](FB::JSAPI& o, RecordingObject&) {
             EXPECT_EQ(o.Invoke(wideName, FB::variant_list_of(1)(2)).cast<int>(), 2);
         }},
        {"registerEventMethod:" + utf8Name,
         [&handler](FB::JSAPI& o, RecordingObject& r) {
             o.registerEventMethod(wideName, handler);
             EXPECT_EQ(r.lastHandler, handler);
         }},
        {"unregisterEventMethod:" + utf8Name,
         [&handler](FB::JSAPI& o, RecordingObject& r) {
             o.unregisterEventMethod(wideName, handler);
             EXPECT_EQ(r.lastHandler, handler);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded);
        const auto object = boost::make_shared<RecordingObject>();
        c.callWide(*object, *object);
        EXPECT_EQ(object->calls, std::vector<std::string>{c.recorded});
    }
}

TEST(JSAPI, AnUnencodableWideNameFailsBeforeReachingTheObject) {
    const auto object = boost::make_shared<RecordingObject>();
    FB::JSAPI& api = *object;
    EXPECT_THROW(api.HasMethod(std::wstring(1, static_cast<wchar_t>(0xD800))),
                 utf8::invalid_code_point);
    EXPECT_TRUE(object->calls.empty());
}

TEST(JSAPI, WideMemberListingConvertsTheNarrowListing) {
    const auto object = boost::make_shared<RecordingObject>();
    const FB::JSAPI& api = *object;
    object->memberNames = {"echo", utf8Name};

    std::vector<std::wstring> names = {L"stale"};
    api.getMemberNames(names);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"echo", wideName}));

    std::vector<std::wstring> throughPointer;
    api.getMemberNames(&throughPointer);
    EXPECT_EQ(throughPointer, names);
    std::vector<std::string> narrowThroughPointer;
    api.getMemberNames(&narrowThroughPointer);
    EXPECT_EQ(narrowThroughPointer, object->memberNames);

    object->memberNames.clear();
    api.getMemberNames(names);
    EXPECT_TRUE(names.empty());

    object->memberNames = {"\xC3\x28"};
    EXPECT_THROW(api.getMemberNames(names), utf8::invalid_utf8);
}

TEST(JSAPI, DefaultsOfAnObjectWithoutZonesOrMethodObjects) {
    const auto object = boost::make_shared<StubScriptObject>();
    FB::JSAPI& api = *object;
    api.pushZone(5);
    api.setDefaultZone(5);
    EXPECT_EQ(api.getZone(), 0);
    EXPECT_EQ(api.getDefaultZone(), 0);
    api.popZone();
    api.shutdown();

    EXPECT_FALSE(api.HasMethodObject("echo"));
    EXPECT_FALSE(api.HasMethodObject(L"echo"));
    EXPECT_FALSE(api.GetMethodObject("echo"));
    EXPECT_FALSE(api.GetMethodObject(L"echo"));
    EXPECT_EQ(api.shared_from_this(), object);
}

TEST(JSAPI, EventRegistrationIsNotImplementedOnAPageObject) {
    const auto page = boost::make_shared<StubPageObject>();
    FB::JSAPI& api = *page;
    FB::JSObjectPtr handler = boost::make_shared<StubPageObject>();
    const std::function<void()> registrations[] = {
        [&] { api.registerEventMethod("onload", handler); },
        [&] { api.registerEventMethod(L"onload", handler); },
        [&] { api.unregisterEventMethod("onload", handler); },
        [&] { api.unregisterEventMethod(L"onload", handler); },
        [&] { api.registerEventInterface(handler); },
        [&] { api.unregisterEventInterface(handler); },
    };
    for (const auto& registration : registrations) {
        try {
            registration();
            ADD_FAILURE() << "registration accepted";
        } catch (const FB::script_error& e) {
            EXPECT_STREQ(e.what(), "Not implemented");
        }
    }
}

} // namespace
