#include "JSAPIAuto.h"
#include "MemberObject.h"
#include "scoped_zonelock.h"
#include "variant_list.h"

#include <algorithm>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using FB::variant;
typedef std::vector<std::string> Names;

const Names builtIns = {"getAttribute", "setAttribute", "toString", "valid", "value"};

Names memberNames(const FB::JSAPI& object) {
    Names names{"stale"};
    object.getMemberNames(names);
    return names;
}

bool listed(const FB::JSAPI& object, const std::string& name) {
    const Names names = memberNames(object);
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(JSAPIAuto, ANewObjectListsItsFiveBuiltInsInZoneZero) {
    FB::JSAPIAuto object("d");
    EXPECT_EQ(memberNames(object), builtIns);
    EXPECT_EQ(object.getMemberCount(), 5u);

    FB::scoped_zonelock below(&object, -1);
    EXPECT_EQ(memberNames(object), Names());
    EXPECT_EQ(object.getMemberCount(), 0u);
}

TEST(JSAPIAuto, BuiltInsAreInZoneZeroWhateverTheDefaultZone) {
    FB::JSAPIAuto object(3, "d");
    EXPECT_EQ(object.getZone(), 3);
    EXPECT_EQ(memberNames(object), builtIns);
    FB::scoped_zonelock zero(&object, 0);
    EXPECT_EQ(memberNames(object), builtIns);
}

class Described : public FB::JSAPIAuto {
public:
    Described() : FB::JSAPIAuto("plain") {}
    std::string ToString() override { return "overridden"; }
};

TEST(JSAPIAuto, ToStringAndValueGiveTheDescriptionAndFollowAnOverride) {
    FB::JSAPIAuto plain("<JSAPI-Auto Javascript Object>");
    EXPECT_EQ(plain.Invoke("toString", FB::variant_list_of(1)(2)).cast<std::string>(),
              "<JSAPI-Auto Javascript Object>");
    EXPECT_EQ(plain.GetProperty("value").cast<std::string>(), "<JSAPI-Auto Javascript Object>");
    EXPECT_TRUE(plain.GetProperty("valid").cast<bool>());

    Described described;
    EXPECT_EQ(described.Invoke("toString", {}).cast<std::string>(), "overridden");
    EXPECT_EQ(described.GetProperty("value").cast<std::string>(), "overridden");
}

TEST(JSAPIAuto, WritesToTheBuiltInPropertiesAreIgnored) {
    FB::JSAPIAuto object("d");
    object.SetProperty("value", variant("other"));
    object.SetProperty("valid", variant(false));
    EXPECT_EQ(object.GetProperty("value").cast<std::string>(), "d");
    EXPECT_TRUE(object.GetProperty("valid").cast<bool>());
}

TEST(JSAPIAuto, AMemberRegisteredInAHigherZoneIsListedOnlyFromThatZone) {
    MemberObject object(MemberFlags(), 2);
    EXPECT_EQ(memberNames(object), builtIns);
    FB::scoped_zonelock one(&object, 1);
    EXPECT_EQ(memberNames(object), builtIns);
    FB::scoped_zonelock two(&object, 2);
    EXPECT_EQ(memberNames(object), (Names{"a", "getAttribute", "m", "p", "r", "ro", "setAttribute",
                                          "toString", "valid", "value"}));
    EXPECT_EQ(object.getMemberCount(), 10u);
}

TEST(JSAPIAuto, AttributesAreSetReadAndGuardedWhenReadOnly) {
    FB::JSAPIAuto object("d");
    object.setAttribute("a", variant(1));
    EXPECT_EQ(object.getAttribute("a").cast<int>(), 1);
    EXPECT_EQ(memberNames(object).front(), "a");

    object.registerAttribute("r", variant(1), true);
    try {
        object.setAttribute("r", variant(2));
        ADD_FAILURE() << "accepted";
    } catch (const FB::script_error& e) {
        EXPECT_STREQ(e.what(), "Cannot set read-only property r");
    }
    try {
        object.unregisterAttribute("r");
        ADD_FAILURE() << "accepted";
    } catch (const FB::script_error& e) {
        EXPECT_STREQ(e.what(), "Cannot remove read-only property r");
    }
    EXPECT_EQ(object.getAttribute("r").cast<int>(), 1);

    EXPECT_TRUE(object.getAttribute("absent").is_of_type<FB::variant_detail::empty>());
    EXPECT_NO_THROW(object.unregisterAttribute("absent"));
}

TEST(JSAPIAuto, SetAttributeThroughScriptTakesANameAndAnOptionalValue) {
    FB::JSAPIAuto object("d");
    EXPECT_TRUE(object.Invoke("setAttribute", FB::variant_list_of("x")(5)).empty());
    EXPECT_EQ(object.Invoke("getAttribute", FB::variant_list_of("x")).cast<int>(), 5);
    object.Invoke("setAttribute", FB::variant_list_of("x"));
    EXPECT_EQ(object.getAttribute("x").get_type(), typeid(void));
}

// One name shared by several kinds of member keeps its zone entry until the
// last of them is gone.
TEST(JSAPIAuto, RemovingOneKindOfMemberKeepsTheOthersOfTheSameNameReachable) {
    auto object = boost::make_shared<MemberObject>();
    object->registerAttribute("m", variant("attr"), false);
    object->registerMethod("p", FB::make_method(object.get(), &MemberObject::echo));

    object->unregisterMethod("m");
    EXPECT_EQ(object->GetProperty("m").cast<std::string>(), "attr");
    EXPECT_TRUE(listed(*object, "m"));

    object->unregisterProperty("p");
    EXPECT_EQ(object->Invoke("p", FB::variant_list_of(3)).cast<int>(), 3);

    object->registerMethod("a", FB::make_method(object.get(), &MemberObject::echo));
    object->RemoveProperty("a");
    EXPECT_FALSE(object->holdsAttribute("a"));
    EXPECT_EQ(object->Invoke("a", FB::variant_list_of(4)).cast<int>(), 4);

    object->unregisterMethod("a");
    EXPECT_FALSE(object->zoneOf("a"));
    EXPECT_FALSE(listed(*object, "a"));
}

TEST(JSAPIAuto, ReservedNamesAreNotMembers) {
    FB::JSAPIAuto object("d");
    EXPECT_TRUE(object.isReserved("style"));
    EXPECT_TRUE(object.isReserved("constructor"));
    EXPECT_FALSE(object.isReserved("toString"));
    EXPECT_FALSE(object.HasProperty("style"));
    EXPECT_EQ(memberNames(object), builtIns);

    object.registerAttribute("style", variant("s"), false);
    EXPECT_TRUE(object.HasProperty("style"));
}

TEST(JSAPIAuto, WideNamesRegisterTheirUtf8Form) {
    FB::JSAPIAuto object("d");
    const FB::MethodFunctor method = FB::make_method(&object, &FB::JSAPIAuto::ToString);
    object.registerMethod(L"na\u00efve", method);
    object.registerProperty(L"\u00e9t\u00e9",
                            FB::make_property(&object, &FB::JSAPIAuto::get_valid));
    EXPECT_TRUE(object.HasMethod("na\xC3\xAFve"));
    EXPECT_TRUE(object.GetProperty("\xC3\xA9t\xC3\xA9").cast<bool>());
    object.unregisterMethod(L"na\u00efve");
    object.unregisterProperty(L"\u00e9t\u00e9");
    EXPECT_EQ(memberNames(object), builtIns);
}

TEST(JSAPIAuto, RegisteringANameAgainReplacesTheMemberAndItsZone) {
    auto object = boost::make_shared<MemberObject>(MemberFlags(), 2);
    object->registerMethod("m", FB::make_method(object.get(), &FB::JSAPIAuto::ToString));
    EXPECT_EQ(object->zoneOf("m"), 0);
    EXPECT_EQ(object->Invoke("m", {}).cast<std::string>(), "<members>");
}

} // namespace
