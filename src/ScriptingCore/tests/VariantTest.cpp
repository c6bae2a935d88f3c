#include "variant.h"
#include "TestObjects.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace {

using FB::variant;

template <typename Held, typename Requested> void expectBadCast(const FB::bad_variant_cast& e) {
    EXPECT_STREQ(e.from, typeid(Held).name());
    EXPECT_STREQ(e.to, typeid(Requested).name());
    EXPECT_STREQ(e.what(), "bad cast");
}

variant listOf(const FB::VariantList& list) {
    return variant(list);
}

TEST(Variant, StatesWithoutValue) {
    struct Case {
        const char* label;
        variant value;
        bool empty;
        bool null;
        const std::type_info& type;
    };
    const Case cases[] = {
        {"no value", variant(), true, false, typeid(void)},
        {"empty tag", variant(FB::variant_detail::empty()), true, false,
         typeid(FB::variant_detail::empty)},
        {"null tag", variant(FB::variant_detail::null()), false, true,
         typeid(FB::variant_detail::null)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.value.empty(), c.empty);
        EXPECT_EQ(c.value.is_null(), c.null);
        EXPECT_TRUE(c.value.get_type() == c.type);
    }
    EXPECT_TRUE(variant(FB::variant_detail::empty()).is_of_type<FB::variant_detail::empty>());
    EXPECT_FALSE(variant(0).empty());
}

TEST(Variant, CastReadsOnlyTheExactType) {
    const variant five(5);
    EXPECT_EQ(five.cast<int>(), 5);
    EXPECT_TRUE(five.is_of_type<const int>());
    try {
        five.cast<long>();
        FAIL() << "int read as long";
    } catch (const FB::bad_variant_cast& e) {
        expectBadCast<int, long>(e);
    }
    try {
        variant().cast<int>();
        FAIL() << "no value read as int";
    } catch (const std::bad_cast& e) {
        expectBadCast<void, int>(dynamic_cast<const FB::bad_variant_cast&>(e));
    }
}

TEST(Variant, DifferentTypesOrderByTypeName) {
    const variant int5(5);
    const variant long3(3L);
    EXPECT_TRUE(int5 < long3);
    EXPECT_FALSE(long3 < int5);

    const variant null((FB::variant_detail::null()));
    const variant emptyTag((FB::variant_detail::empty()));
    EXPECT_TRUE(null < variant());
    EXPECT_FALSE(variant() < null);
    EXPECT_TRUE(null < emptyTag);
    EXPECT_FALSE(emptyTag < null);
}

TEST(Variant, SameTypesOrderByValue) {
    struct Case {
        const char* label;
        variant lhs;
        variant rhs;
        bool lhsLess;
        bool rhsLess;
    };
    const double nan = std::nan("");
    FB::VariantMap mapA{{"a", variant(1)}};
    FB::VariantMap mapB{{"b", variant(0)}};
    const Case cases[] = {
        {"bool", variant(false), variant(true), true, false},
        {"int", variant(-3), variant(2), true, false},
        {"unsigned int", variant(7u), variant(7u), false, false},
        {"double", variant(0.5), variant(0.25), false, true},
        {"NaN", variant(nan), variant(1.0), false, false},
        {"bytes compare unsigned", variant(std::string("a\x01")), variant(std::string("a\xff")),
         true, false},
        {"shorter prefix", variant(std::string("ab")), variant(std::string("abc")), true, false},
        {"wide", variant(std::wstring(L"b")), variant(std::wstring(L"ab")), false, true},
        {"list prefix", listOf(FB::variant_list_of(1)(2)), listOf(FB::variant_list_of(1)(2)(3)),
         true, false},
        {"list first difference", listOf(FB::variant_list_of(2)), listOf(FB::variant_list_of(1)(5)),
         false, true},
        {"map key before value", variant(mapA), variant(mapB), true, false},
        {"empty tags", variant(FB::variant_detail::empty()), variant(FB::variant_detail::empty()),
         false, false},
        {"null tags", variant(FB::variant_detail::null()), variant(FB::variant_detail::null()),
         false, false},
        {"no values", variant(), variant(), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.lhs < c.rhs, c.lhsLess);
        EXPECT_EQ(c.rhs < c.lhs, c.rhsLess);
    }
}

TEST(Variant, ObjectPointersOrderByOwnership) {
    const auto object = boost::make_shared<StubScriptObject>();
    const FB::JSAPIPtr whole = object;
    // An aliasing pointer shares the ownership but points elsewhere.
    const boost::shared_ptr<FB::JSAPI> alias(object, static_cast<FB::JSAPI*>(nullptr));
    EXPECT_FALSE(variant(whole) < variant(alias, true));
    EXPECT_FALSE(variant(alias, true) < variant(whole));

    const FB::JSAPIPtr other = boost::make_shared<StubScriptObject>();
    EXPECT_EQ(variant(whole) < variant(other), whole.owner_before(other));
    EXPECT_NE(variant(whole) < variant(other), variant(other) < variant(whole));
}

TEST(Variant, CopiesAreIndependentValuesSharingPointedObjects) {
    variant original(std::string("abc"));
    const variant copy(original);
    original = 7;
    EXPECT_EQ(copy.cast<std::string>(), "abc");
    EXPECT_EQ(original.cast<int>(), 7);

    const FB::JSAPIPtr object = boost::make_shared<StubScriptObject>();
    const variant held(object);
    const variant heldCopy = held;
    EXPECT_EQ(object.use_count(), 3);
    EXPECT_EQ(heldCopy.cast<FB::JSAPIPtr>(), object);
}

TEST(Variant, SelfAssignmentKeepsTheValue) {
    variant list = listOf(FB::variant_list_of(1)("two"));
    const variant& alias = list;
    list = alias;
    ASSERT_TRUE(list.is_of_type<FB::VariantList>());
    EXPECT_EQ(list.cast<FB::VariantList>().size(), 2u);
    EXPECT_FALSE(list < alias);
}

// A value whose copy fails on demand, to show that a failed assignment
// leaves its target as it was.
struct CopyFailure {
    static bool fail;
    CopyFailure() = default;
    CopyFailure(const CopyFailure&) {
        if (fail) {
            throw std::runtime_error("copy failed");
        }
    }
    bool operator<(const CopyFailure&) const { return false; }
};
bool CopyFailure::fail = false;

TEST(Variant, FailedAssignmentLeavesTheTargetUnchanged) {
    const variant source(CopyFailure(), true);
    variant target(std::string("kept"));
    CopyFailure::fail = true;
    EXPECT_THROW(target = source, std::runtime_error);
    EXPECT_THROW(target.assign(CopyFailure(), true), std::runtime_error);
    CopyFailure::fail = false;
    EXPECT_EQ(target.cast<std::string>(), "kept");
    EXPECT_TRUE(target < variant(std::string("l")));
}

TEST(Variant, AssignmentTakesTheSourcesComparison) {
    variant value(5);
    value = variant(std::string("a"));
    EXPECT_TRUE(value < variant(std::string("b")));
    EXPECT_FALSE(variant(std::string("b")) < value);
}

// A variant is built only from the types the construction rules take, and
// moves without throwing, as the type traits say.
static_assert(std::is_nothrow_move_constructible<variant>::value);
static_assert(std::is_nothrow_move_assignable<variant>::value);
static_assert(std::is_constructible<variant, FB::VariantList>::value);
static_assert(std::is_constructible<variant, FB::JSAPIPtr>::value);
static_assert(std::is_convertible<const char*, variant>::value);
static_assert(std::is_convertible<FB::detail::VariantListInserter&, variant>::value);
static_assert(std::is_assignable<variant&, FB::VariantMap>::value);
static_assert(!std::is_constructible<variant, std::vector<int>>::value);
static_assert(!std::is_constructible<variant, int*>::value);
static_assert(!std::is_constructible<variant, std::nullptr_t>::value);
static_assert(!std::is_assignable<variant&, std::vector<int>>::value);
static_assert(!std::is_assignable<variant&, const void*>::value);

TEST(Variant, MovingTakesTheValueAndLeavesNothing) {
    variant source = listOf(FB::variant_list_of(1)("two"));
    variant moved(std::move(source));
    ASSERT_TRUE(moved.is_of_type<FB::VariantList>());
    EXPECT_EQ(moved.cast<FB::VariantList>().size(), 2u);
    EXPECT_TRUE(source.get_type() == typeid(void));
    EXPECT_FALSE(source < variant() || variant() < source);

    variant target(5);
    target = std::move(moved);
    ASSERT_TRUE(target.is_of_type<FB::VariantList>());
    EXPECT_TRUE(target < listOf(FB::variant_list_of(1)("two")(3)));
    EXPECT_TRUE(moved.get_type() == typeid(void));

    variant& alias = target;
    target = std::move(alias);
    EXPECT_EQ(target.cast<FB::VariantList>().size(), 2u);
}

// Counts the copies of itself.
struct CopyCounter {
    static int copies;
    CopyCounter() = default;
    CopyCounter(const CopyCounter&) { ++copies; }
    bool operator<(const CopyCounter&) const { return false; }
};
int CopyCounter::copies = 0;

// A list that grows moves its elements to the new storage.
TEST(Variant, AGrowingListCopiesNoElement) {
    FB::VariantList list;
    CopyCounter::copies = 0;
    for (int i = 0; i < 100; ++i) {
        list.push_back(variant(CopyCounter(), true));
    }
    EXPECT_EQ(CopyCounter::copies, 100) << "one copy into each variant, none after";
}

TEST(Variant, PtrCastFollowsTheObjectsClass) {
    const FB::JSAPIPtr script = boost::make_shared<StubScriptObject>();
    const FB::JSAPIPtr page = boost::make_shared<StubPageObject>();
    EXPECT_FALSE(FB::ptr_cast<FB::JSObject>(script));
    EXPECT_FALSE(FB::ptr_cast<FB::JSObject>(FB::JSAPIPtr()));
    EXPECT_EQ(FB::ptr_cast<FB::JSObject>(page).get(), page.get());
    const FB::JSAPIPtr same = FB::ptr_cast<FB::JSAPI>(script);
    EXPECT_EQ(same, script);
    EXPECT_EQ(script.use_count(), 2);
}

} // namespace
