#include "JSExceptions.h"
#include "TestObjects.h"
#include "variant.h"
#include "variant_list.h"

#include <boost/logic/tribool.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>

namespace {

using FB::variant;

TEST(VariantConstruction, NullObjectPointersBecomeTheNullTag) {
    const variant values[] = {
        variant(FB::JSAPIPtr()),
        variant(FB::JSObjectPtr()),
        variant(boost::shared_ptr<StubScriptObject>()),
        FB::make_variant(boost::shared_ptr<StubPageObject>()),
    };
    for (const variant& value : values) {
        EXPECT_TRUE(value.is_null());
    }

    const variant raw(FB::JSAPIPtr(), true);
    EXPECT_FALSE(raw.is_null());
    ASSERT_TRUE(raw.is_of_type<FB::JSAPIPtr>());
    EXPECT_FALSE(raw.cast<FB::JSAPIPtr>());
}

TEST(VariantConstruction, ObjectPointersAreHeldAsOneOfTheTwoPointerTypes) {
    const auto script = boost::make_shared<StubScriptObject>();
    const auto page = boost::make_shared<StubPageObject>();

    const variant heldScript(script);
    ASSERT_TRUE(heldScript.is_of_type<FB::JSAPIPtr>());
    EXPECT_EQ(heldScript.cast<FB::JSAPIPtr>().get(), script.get());

    variant heldPage;
    heldPage = page;
    ASSERT_TRUE(heldPage.is_of_type<FB::JSObjectPtr>());
    EXPECT_EQ(heldPage.cast<FB::JSObjectPtr>().get(), page.get());

    // The rule follows the pointer's declared class, not the object's.
    const FB::JSAPIPtr pageAsScriptObject = page;
    EXPECT_TRUE(variant(pageAsScriptObject).is_of_type<FB::JSAPIPtr>());
}

TEST(VariantConstruction, CharacterStringsBecomeStandardStrings) {
    const variant literal("abc");
    ASSERT_TRUE(literal.is_of_type<std::string>());
    EXPECT_EQ(literal.cast<std::string>(), "abc");

    const char* withNul = "ab\0cd";
    EXPECT_EQ(FB::make_variant(withNul).cast<std::string>(), "ab");
    const std::string kept("ab\0cd", 5);
    EXPECT_EQ(variant(kept).cast<std::string>(), kept);

    const wchar_t* wide = L"\u00e9t\u00e9";
    const variant heldWide(wide);
    ASSERT_TRUE(heldWide.is_of_type<std::wstring>());
    EXPECT_EQ(heldWide.cast<std::wstring>(), std::wstring(L"\u00e9t\u00e9"));

    const char* noText = nullptr;
    const wchar_t* noWideText = nullptr;
    EXPECT_TRUE(variant(noText).is_null());
    EXPECT_TRUE(variant(noWideText).is_null());
}

TEST(VariantConstruction, NumbersKeepTheirType) {
    EXPECT_TRUE(variant(5).is_of_type<int>());
    EXPECT_TRUE(variant(5u).is_of_type<unsigned int>());
    EXPECT_TRUE(variant(5L).is_of_type<long>());
    EXPECT_TRUE(variant(0.5).is_of_type<double>());
    EXPECT_TRUE(variant(true).is_of_type<bool>());
    EXPECT_THROW(variant(5).cast<long>(), FB::bad_variant_cast);
    EXPECT_THROW(variant(5u).cast<long>(), FB::bad_variant_cast);
}

TEST(VariantConstruction, TriboolBecomesBooleanOrNoValue) {
    const variant yes(boost::logic::tribool(true));
    const variant no(boost::logic::tribool(false));
    const variant unknown(boost::logic::tribool(boost::logic::indeterminate));
    EXPECT_TRUE(yes.cast<bool>());
    EXPECT_FALSE(no.cast<bool>());
    EXPECT_TRUE(unknown.empty());
    EXPECT_TRUE(unknown.get_type() == typeid(void));
}

TEST(VariantConstruction, RawStoreKeepsACaughtScriptError) {
    const auto error = boost::make_shared<FB::script_error>("failed");
    const variant held(error, true);
    ASSERT_TRUE(held.is_of_type<boost::shared_ptr<FB::script_error>>());
    EXPECT_STREQ(held.cast<boost::shared_ptr<FB::script_error>>()->what(), "failed");
    EXPECT_THROW(held.cast<FB::script_error*>(), FB::bad_variant_cast);
}

TEST(VariantConstruction, AssigningReplacesTheHeldType) {
    variant value = FB::VariantList(3);
    value = 4;
    EXPECT_TRUE(value.get_type() == typeid(int));
    value = FB::variant_detail::null();
    EXPECT_TRUE(value.is_null());
}

TEST(VariantListOf, BuildsTheListInCallOrder) {
    const FB::VariantList single = FB::variant_list_of(1);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].cast<int>(), 1);

    const FB::VariantList list = FB::variant_list_of(1)("two")(3.0)(FB::variant());
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].cast<int>(), 1);
    EXPECT_EQ(list[1].cast<std::string>(), "two");
    EXPECT_EQ(list[2].cast<double>(), 3.0);
    EXPECT_TRUE(list[3].get_type() == typeid(void));
}

TEST(VariantListOf, TheListIsAVariantToo) {
    const variant held = FB::variant_list_of(1)("two");
    ASSERT_TRUE(held.is_of_type<FB::VariantList>());
    EXPECT_EQ(held.cast<FB::VariantList>()[1].cast<std::string>(), "two");

    variant assigned;
    assigned = FB::variant_list_of(3);
    EXPECT_EQ(assigned.cast<FB::VariantList>().size(), 1u);
}

} // namespace
