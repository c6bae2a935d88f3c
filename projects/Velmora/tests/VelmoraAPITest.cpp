// The script object's members, as a page sees them, without a token.
#include "PluginFixtures.h"

#include "JSExceptions.h"

#include <algorithm>
#include <gmock/gmock.h>

namespace {

class ScriptMembers : public PluginOnHost {};

const char* const methodNames[] = {"echo",           "testEvent", "getDigitalSignatureCertificates",
                                   "getCertificate", "signPkcs1", "processPinChar",
                                   "deletePinChar"};
const char* const propertyNames[] = {"testString",    "version",           "pin",
                                     "lastError",     "lastLowLevelError", "lastErrorMessage",
                                     "pinLength",     "isPinMissing",      "isPinInvalid",
                                     "pinModuleName", "pinRetryCount"};

TEST_F(ScriptMembers, OffersEveryMethodAndProperty) {
    std::vector<std::string> names;
    api->getMemberNames(names);
    for (const char* method : methodNames) {
        SCOPED_TRACE(method);
        EXPECT_TRUE(api->HasMethod(method));
        EXPECT_NE(std::find(names.begin(), names.end(), method), names.end());
    }
    for (const char* property : propertyNames) {
        SCOPED_TRACE(property);
        EXPECT_TRUE(api->HasProperty(property));
        EXPECT_FALSE(api->HasMethod(property));
        EXPECT_NE(std::find(names.begin(), names.end(), property), names.end());
    }
    EXPECT_EQ(call("toString").cast<std::string>(), "<JSAPI-Auto Javascript Object>");
}

TEST_F(ScriptMembers, StartsWithNoErrorAndNoPinState) {
    EXPECT_EQ(read<std::string>("testString"), "");
    EXPECT_EQ(read<std::string>("version"), "1.0.0.0");
    EXPECT_EQ(read<std::string>("pin"), "");
    EXPECT_EQ(read<int>("lastError"), 0);
    EXPECT_EQ(read<long>("lastLowLevelError"), 0);
    EXPECT_EQ(read<std::string>("lastErrorMessage"), "");
    EXPECT_EQ(read<int>("pinLength"), 0);
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_FALSE(read<bool>("isPinInvalid"));
    EXPECT_EQ(read<std::string>("pinModuleName"), "");
}

TEST_F(ScriptMembers, WritesToReadOnlyPropertiesAreAcceptedAndIgnored) {
    const char* const readOnly[] = {"version",          "lastError",     "lastLowLevelError",
                                    "lastErrorMessage", "pinLength",     "isPinMissing",
                                    "isPinInvalid",     "pinModuleName", "pinRetryCount"};
    for (const char* property : readOnly) {
        SCOPED_TRACE(property);
        const FB::variant before = get(property);
        for (const FB::variant& written : {FB::variant("2.0"), FB::variant(7), FB::variant(true)}) {
            EXPECT_NO_THROW(set(property, written));
            const FB::variant after = get(property);
            EXPECT_TRUE(after.get_type() == before.get_type());
            EXPECT_EQ(after.convert_cast<std::string>(), before.convert_cast<std::string>());
        }
    }
    EXPECT_EQ(read<std::string>("version"), "1.0.0.0");
}

TEST_F(ScriptMembers, TestStringReadsBackTheLastWrite) {
    set("testString", "first");
    set("testString", "second");
    EXPECT_EQ(read<std::string>("testString"), "second");
    set("testString", 42);
    EXPECT_EQ(read<std::string>("testString"), "42");
}

// A page handler of one event, recording the argument lists it is called with.
FakePageObjectPtr handlerOf(const FB::JSAPIPtr& object, const std::string& event,
                            const boost::shared_ptr<FakeBrowserHost>& host) {
    const FakePageObjectPtr handler = boost::make_shared<FakePageObject>(host);
    handler->optimizedCalls = true;
    FB::JSObjectPtr registered = handler;
    object->registerEventMethod(event, registered);
    return handler;
}

// The arguments of the handler's one call. The record is cleared: it holds
// the handler itself.
FB::VariantList onlyCallOf(const FakePageObjectPtr& handler, const std::string& event) {
    EXPECT_EQ(handler->multipleCalls.size(), 1u);
    if (handler->multipleCalls.empty()) {
        return {};
    }
    EXPECT_EQ(handler->multipleCalls[0].name, event);
    const FB::VariantList args = handler->multipleCalls[0].args;
    handler->multipleCalls.clear();
    return args;
}

TEST_F(ScriptMembers, EchoReturnsItsArgumentAndFiresTheCountOfTheProcess) {
    const boost::shared_ptr<Velmora> otherPlugin = boost::make_shared<Velmora>();
    const FB::JSAPIPtr otherApi = otherPlugin->getRootJSAPI();
    const FakePageObjectPtr handler = handlerOf(api, "onecho", host);
    const FakePageObjectPtr otherHandler = handlerOf(otherApi, "onecho", host);
    const FB::VariantList list = {1, "two"};

    EXPECT_EQ(call("echo", {"hello"}).cast<std::string>(), "hello");
    EXPECT_EQ(otherApi->Invoke("echo", {FB::variant(list)}).cast<FB::VariantList>().size(), 2u);

    const FB::VariantList first = onlyCallOf(handler, "onecho");
    const FB::VariantList second = onlyCallOf(otherHandler, "onecho");
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(first[0].cast<std::string>(), "So far, you clicked this many times: ");
    EXPECT_EQ(second[0].cast<std::string>(), "So far, you clicked this many times: ");
    EXPECT_GE(first[1].cast<int>(), 0);
    EXPECT_EQ(second[1].cast<int>(), first[1].cast<int>() + 1);
}

TEST_F(ScriptMembers, EchoWithoutArgumentEchoesUndefined) {
    EXPECT_TRUE(call("echo").empty());
}

TEST_F(ScriptMembers, TestEventFiresOnTestWithNoArguments) {
    const FakePageObjectPtr handler = handlerOf(api, "ontest", host);

    EXPECT_TRUE(call("testEvent").empty());

    EXPECT_TRUE(onlyCallOf(handler, "ontest").empty());
}

TEST_F(ScriptMembers, WrongArgumentsAreRefusedBeforeTheMemberRuns) {
    typePin("12");
    EXPECT_THROW(call("signPkcs1", {"only one"}), FB::invalid_arguments);
    EXPECT_THROW(call("getCertificate", {"a", "b"}), FB::invalid_arguments);
    EXPECT_THROW(call("getCertificate", {FB::variant(FB::VariantList{1})}), FB::invalid_arguments);
    EXPECT_THROW(call("processPinChar", {FB::variant(FB::VariantList{})}), FB::invalid_arguments);
    EXPECT_EQ(read<int>("pinLength"), 2);
    EXPECT_EQ(read<int>("lastError"), 0);
}

TEST_F(ScriptMembers, ListingRaisesOnceThePluginIsGone) {
    plugin.reset();
    try {
        call("getDigitalSignatureCertificates");
        FAIL() << "no exception";
    } catch (const FB::script_error& e) {
        EXPECT_STREQ(e.what(), "The plugin is invalid");
    }
    EXPECT_EQ(read<int>("lastError"), 0);
}

TEST_F(ScriptMembers, AnUnreadableCaSubjectNamesParameterIsAConversionError) {
    plugin->setParams(FB::VariantMap{{"CaSubjectNames", FB::VariantList{1, 2}}});
    try {
        call("getDigitalSignatureCertificates");
        FAIL() << "no exception";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_THAT(e.what(), ::testing::StartsWith("Could not convert from "));
    }
    EXPECT_EQ(read<int>("lastError"), 0);
}

} // namespace
