#include "JSFunction.h"
#include "FakeBrowserHost.h"
#include "FakePageObject.h"
#include "JSExceptions.h"
#include "scoped_zonelock.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using FB::variant;

// A script object whose method "m" records the arguments and the zone it
// ran in, and answers how many arguments it got.
class Owner : public FB::JSAPIAuto {
public:
    Owner() : FB::JSAPIAuto("<owner>") {
        FB::scoped_zonelock zone(this, 2);
        registerMethod("m", [this](const FB::VariantList& args) {
            calls.push_back(args);
            zoneDuringCall = getZone();
            return variant(static_cast<int>(args.size()));
        });
    }

    std::vector<FB::VariantList> calls;
    int zoneDuringCall = -1;
};

std::vector<int> asInts(const FB::VariantList& list) {
    std::vector<int> ints;
    for (const variant& value : list) {
        ints.push_back(value.convert_cast<int>());
    }
    return ints;
}

class MethodObjects : public ::testing::Test {
protected:
    MethodObjects() {
        FB::scoped_zonelock zone(owner, 2);
        function = FB::ptr_cast<FB::JSFunction>(owner->GetMethodObject("m"));
    }
    void TearDown() override { host->shutdown(); }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    boost::shared_ptr<Owner> owner = boost::make_shared<Owner>();
    boost::shared_ptr<FB::JSFunction> function;
    const variant receiver = variant(FB::JSObjectPtr(boost::make_shared<FakePageObject>(host)));
};

class ScriptCalls;

// A script call of the function object and the arguments the owner's method
// receives, or the error the call raises.
struct CallCase {
    const char* label;
    std::string form;
    std::function<FB::VariantList(const ScriptCalls&)> args;
    std::optional<std::vector<int>> received;
};

std::ostream& operator<<(std::ostream& out, const CallCase& c) {
    return out << c.label;
}

class ScriptCalls : public MethodObjects, public ::testing::WithParamInterface<CallCase> {
public:
    const variant& receiverArg() const { return receiver; }
    FB::JSObjectPtr pageArray(const FB::VariantList& elements) const {
        return FakePageObject::makeArray(host, elements);
    }
};

TEST_P(ScriptCalls, ReachTheMethodWithTheScriptArguments) {
    const CallCase& c = GetParam();
    const FB::VariantList args = c.args(*this);
    if (!c.received) {
        try {
            function->Invoke(c.form, args);
            ADD_FAILURE() << "accepted";
        } catch (const FB::invalid_arguments& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Invalid argument conversion from ", 0), 0u)
                << e.what();
            EXPECT_NE(std::string(e.what()).find(" at index 2"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(owner->calls.empty());
        EXPECT_EQ(owner->getZone(), 0);
        return;
    }
    const variant result = function->Invoke(c.form, args);
    ASSERT_EQ(owner->calls.size(), 1u);
    EXPECT_EQ(asInts(owner->calls[0]), *c.received);
    EXPECT_EQ(result.cast<int>(), static_cast<int>(c.received->size()));
    EXPECT_EQ(owner->zoneDuringCall, 2);
    EXPECT_EQ(owner->getZone(), 0);
}

typedef ScriptCalls S;
typedef std::vector<int> Ints;

INSTANTIATE_TEST_SUITE_P(
    MethodObjects, ScriptCalls,
    ::testing::Values(
        CallCase{"direct", "", [](const S&) { return FB::variant_list_of(1)(2); }, Ints{1, 2}},
        CallCase{"call_without_arguments", "call", [](const S&) { return FB::VariantList(); },
                 Ints{}},
        CallCase{"call_drops_the_receiver", "call",
                 [](const S& t) { return FB::variant_list_of(t.receiverArg())(1)(2); }, Ints{1, 2}},
        CallCase{"apply_with_only_the_receiver", "apply",
                 [](const S& t) { return FB::variant_list_of(t.receiverArg()); }, Ints{}},
        CallCase{"apply_ignores_arguments_after_the_list", "apply",
                 [](const S& t) {
                     return FB::variant_list_of(t.receiverArg())(
                         FB::VariantList(FB::variant_list_of(1)(2)))(3);
                 },
                 Ints{1, 2}},
        CallCase{"apply_reads_a_page_array", "apply",
                 [](const S& t) {
                     return FB::variant_list_of(t.receiverArg())(
                         t.pageArray(FB::variant_list_of(4)(5)(6)));
                 },
                 Ints{4, 5, 6}},
        CallCase{"apply_with_undefined_arguments", "apply",
                 [](const S& t) { return FB::variant_list_of(t.receiverArg())(variant()); },
                 Ints{}},
        CallCase{"apply_refuses_a_number", "apply",
                 [](const S& t) { return FB::variant_list_of(t.receiverArg())(5); }, std::nullopt},
        CallCase{"apply_refuses_a_text", "apply",
                 [](const S& t) { return FB::variant_list_of(t.receiverArg())("1,2"); },
                 std::nullopt},
        CallCase{"apply_refuses_a_map", "apply",
                 [](const S& t) {
                     return FB::variant_list_of(t.receiverArg())(FB::VariantMap{{"0", variant(1)}});
                 },
                 std::nullopt}),
    [](const ::testing::TestParamInfo<CallCase>& info) { return std::string(info.param.label); });

TEST_F(MethodObjects, FailWithInvalidJSAPIObjectOnceTheOwnerIsGone) {
    owner.reset();
    for (const std::string form : {"", "call", "apply"}) {
        try {
            function->Invoke(form, FB::variant_list_of(receiver)(FB::VariantList()));
            ADD_FAILURE() << "ran " << form;
        } catch (const FB::script_error& e) {
            EXPECT_STREQ(e.what(), "Invalid JSAPI object") << form;
        }
    }
    EXPECT_EQ(function->Invoke("toString", {}).cast<std::string>(), "m()");
}

TEST_F(MethodObjects, AnswerTheFunctionFormsBesideTheirOwnMembers) {
    for (const std::string form : {"", "call", "apply"}) {
        EXPECT_TRUE(function->HasMethod(form)) << form;
        EXPECT_FALSE(function->HasMethodObject(form)) << form;
    }
    EXPECT_FALSE(function->HasProperty("call"));
    EXPECT_FALSE(function->HasProperty("apply"));
    EXPECT_TRUE(function->HasMethod("toString"));
    EXPECT_FALSE(function->HasMethodObject("toString"));
    EXPECT_FALSE(function->HasMethod("m")) << "the owner's method is not a member of its own";
    EXPECT_TRUE(function->HasProperty("anything"));

    function->invalidate();
    EXPECT_EQ(function->Invoke("call", FB::variant_list_of(receiver)(7)).cast<int>(), 1)
        << "the function forms make no validity test";
    EXPECT_FALSE(function->HasMethod("toString"));
}

// The function runs the method in its current zone: the zone it was made in,
// or one pushed on the function itself. (Made here rather than by the owner,
// whose zone mutex GetMethodObject holds while the function's constructor
// takes the function's own.)
TEST_F(MethodObjects, RunInTheZonePushedOnThem) {
    const auto made = boost::make_shared<FB::JSFunction>(owner, "m", 2);
    {
        FB::scoped_zonelock pushed(made, 5);
        made->Invoke("", {});
    }
    EXPECT_EQ(owner->zoneDuringCall, 5);
    EXPECT_EQ(owner->getZone(), 0);

    made->Invoke("", {});
    EXPECT_EQ(owner->zoneDuringCall, 2);
}

TEST_F(MethodObjects, AWideNameNamesTheMethodInUtf8) {
    owner->registerMethod("se\xc3\xb1"
                          "al",
                          [](const FB::VariantList&) { return variant(9); });
    FB::JSFunction wide(owner, std::wstring(L"se\u00f1al"), 0);
    EXPECT_EQ(wide.ToString(), "se\xc3\xb1"
                               "al()");
    EXPECT_EQ(wide.exec({}).cast<int>(), 9);
}

} // namespace
