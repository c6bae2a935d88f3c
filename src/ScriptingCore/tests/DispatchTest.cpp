#include "JSAPIAuto.h"
#include "JSFunction.h"
#include "MemberObject.h"
#include "scoped_zonelock.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <typeinfo>

namespace {

using namespace std::chrono_literals;
using FB::variant;

const int accessZone = 1;
const MemberFlags defaults;
const MemberFlags fixedMembers{false, false, true};
const MemberFlags removable{true, true, true};
const MemberFlags noMethodObjects{true, false, false};

std::string noSuchMember(const std::string& name) {
    return "The specified member does not exist: " + name;
}

std::string readOutcome(MemberObject& object, const std::string& name) {
    try {
        const variant value = object.GetProperty(name);
        if (value.is_of_type<FB::JSAPIPtr>()) {
            return FB::ptr_cast<FB::JSFunction>(value.cast<FB::JSAPIPtr>()) ? "function" : "object";
        }
        if (value.is_of_type<FB::variant_detail::empty>()) {
            return "undefined";
        }
        return value.convert_cast<std::string>();
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember(name));
        return "invalid_member";
    }
}

// A refused write must leave the name's zone and value as they were.
std::string writeOutcome(MemberObject& object, const std::string& name) {
    const std::optional<int> zoneBefore = object.zoneOf(name);
    const variant attributeBefore = object.getAttribute(name);
    try {
        object.SetProperty(name, variant("new"));
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember(name));
        EXPECT_EQ(object.zoneOf(name), zoneBefore);
        EXPECT_EQ(object.getAttribute(name).get_type(), attributeBefore.get_type());
        EXPECT_EQ(object.p, "P");
        return "invalid_member";
    }
    if (object.setterCalls) {
        return object.p == "new" ? "setter" : "setter without the value";
    }
    const variant attribute = object.getAttribute(name);
    if (attribute.is_of_type<std::string>() && attribute.cast<std::string>() == "new") {
        EXPECT_EQ(object.zoneOf(name), accessZone);
        return "attribute";
    }
    return "ignored";
}

std::string removeOutcome(MemberObject& object, const std::string& name) {
    const bool held = object.holdsProperty(name) || object.holdsAttribute(name);
    try {
        object.RemoveProperty(name);
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember(name));
        EXPECT_EQ(object.holdsProperty(name) || object.holdsAttribute(name), held);
        return "invalid_member";
    }
    return held && !object.holdsProperty(name) && !object.holdsAttribute(name) ? "removed"
                                                                               : "nothing";
}

std::string invokeOutcome(MemberObject& object, const std::string& name) {
    try {
        const variant result = object.Invoke(name, FB::variant_list_of(7));
        return result.cast<int>() == 7 && object.methodCalls == 1 ? "called" : "wrong call";
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember(name));
        return "invalid_member";
    }
}

struct DispatchCase {
    std::string label;
    std::string member; // "u" and "style" are not registered
    int memberZone;     // compared with accessZone
    MemberFlags flags;
    bool hasMethod;
    bool hasProperty;
    std::string read;
    std::string write;
    std::string remove;
    std::string invoke;
};

void PrintTo(const DispatchCase& c, std::ostream* os) {
    *os << c.label;
}

class Dispatch : public ::testing::TestWithParam<DispatchCase> {
protected:
    // Each operation runs on an object of its own, in the access zone.
    std::string run(const std::function<std::string(MemberObject&, const std::string&)>& op) {
        const DispatchCase& c = GetParam();
        auto object = boost::make_shared<MemberObject>(c.flags, c.memberZone);
        FB::scoped_zonelock zone(object, accessZone);
        return op(*object, c.member);
    }
};

TEST_P(Dispatch, AnswersByMemberKindZoneAndFlags) {
    const DispatchCase& c = GetParam();
    EXPECT_EQ(
        run([](MemberObject& o, const std::string& n) { return std::to_string(o.HasMethod(n)); }),
        std::to_string(c.hasMethod))
        << "HasMethod";
    EXPECT_EQ(
        run([](MemberObject& o, const std::string& n) { return std::to_string(o.HasProperty(n)); }),
        std::to_string(c.hasProperty))
        << "HasProperty";
    EXPECT_EQ(run(readOutcome), c.read) << "GetProperty";
    EXPECT_EQ(run(writeOutcome), c.write) << "SetProperty";
    EXPECT_EQ(run(removeOutcome), c.remove) << "RemoveProperty";
    EXPECT_EQ(run(invokeOutcome), c.invoke) << "Invoke";
}

const std::string refused = "invalid_member";

// Access zone 1; member zone 0 is below it, 1 the same, 2 above it.
INSTANTIATE_TEST_SUITE_P(
    Members, Dispatch,
    ::testing::Values(DispatchCase{"method_same", "m", 1, defaults, true, true, "function",
                                   "attribute", "nothing", "called"},
                      DispatchCase{"method_below", "m", 0, defaults, true, true, "function",
                                   "attribute", "nothing", "called"},
                      DispatchCase{"method_above", "m", 2, defaults, false, true, "undefined",
                                   refused, refused, refused},
                      DispatchCase{"method_same_fixedMembers", "m", 1, fixedMembers, true, true,
                                   "function", refused, "nothing", "called"},
                      DispatchCase{"method_above_fixedMembers", "m", 2, fixedMembers, false, false,
                                   refused, refused, refused, refused},
                      DispatchCase{"method_same_noMethodObjects", "m", 1, noMethodObjects, true,
                                   false, "undefined", "attribute", "nothing", "called"},
                      DispatchCase{"property_same", "p", 1, defaults, false, true, "P", "setter",
                                   "nothing", refused},
                      DispatchCase{"property_same_removable", "p", 1, removable, false, true, "P",
                                   "setter", "removed", refused},
                      DispatchCase{"property_above", "p", 2, defaults, false, true, "undefined",
                                   refused, refused, refused},
                      DispatchCase{"property_above_fixedMembers", "p", 2, fixedMembers, false, true,
                                   refused, refused, refused, refused},
                      DispatchCase{"property_above_removable", "p", 2, removable, false, true,
                                   "undefined", refused, refused, refused},
                      DispatchCase{"getterOnly_same", "r", 1, defaults, false, true, "P", "ignored",
                                   "nothing", refused},
                      DispatchCase{"attribute_same", "a", 1, defaults, false, true, "A",
                                   "attribute", "removed", refused},
                      DispatchCase{"attribute_same_fixedMembers", "a", 1, fixedMembers, false, true,
                                   "A", "attribute", "nothing", refused},
                      DispatchCase{"attribute_above", "a", 2, defaults, false, true, "undefined",
                                   refused, refused, refused},
                      DispatchCase{"attribute_above_fixedMembers", "a", 2, fixedMembers, false,
                                   true, refused, refused, refused, refused},
                      DispatchCase{"readOnly_same", "ro", 1, defaults, false, true, "RO",
                                   "attribute", "nothing", refused},
                      DispatchCase{"readOnly_same_fixedMembers", "ro", 1, fixedMembers, false, true,
                                   "RO", refused, "nothing", refused},
                      DispatchCase{"unregistered", "u", 1, defaults, false, true, "undefined",
                                   "attribute", refused, refused},
                      DispatchCase{"unregistered_fixedMembers", "u", 1, fixedMembers, false, false,
                                   refused, refused, refused, refused},
                      DispatchCase{"reserved", "style", 1, defaults, false, false, "undefined",
                                   "attribute", refused, refused}),
    [](const ::testing::TestParamInfo<DispatchCase>& info) { return info.param.label; });

TEST(Dispatch, AnAssignedNameBecomesAListedAttribute) {
    FB::JSAPIAuto object("d");
    EXPECT_TRUE(object.GetProperty("fresh").is_of_type<FB::variant_detail::empty>());
    object.SetProperty("fresh", variant(3));
    EXPECT_EQ(object.GetProperty("fresh").cast<int>(), 3);
    EXPECT_TRUE(object.HasProperty("fresh"));
    std::vector<std::string> names;
    object.getMemberNames(names);
    EXPECT_EQ(names.front(), "fresh");
}

TEST(Dispatch, OneNameReadsAsPropertyThenMethodObjectThenAttribute) {
    auto object = boost::make_shared<MemberObject>();
    object->registerMethod("p", FB::make_method(object.get(), &MemberObject::echo));
    EXPECT_EQ(readOutcome(*object, "p"), "P");

    object->SetProperty("m", variant("assigned"));
    EXPECT_TRUE(object->holdsAttribute("m"));
    EXPECT_EQ(readOutcome(*object, "m"), "function");

    auto plain = boost::make_shared<MemberObject>(noMethodObjects);
    plain->SetProperty("m", variant("assigned"));
    EXPECT_EQ(readOutcome(*plain, "m"), "assigned");
}

// A read-only attribute overwritten by script, and a name script assigned
// first, are both plain writable attributes afterwards.
TEST(Dispatch, AnAttributeWrittenByScriptIsWritableAndRemovable) {
    for (const std::string name : {"ro", "u"}) {
        MemberObject object;
        object.SetProperty(name, variant("first"));
        EXPECT_NO_THROW(object.setAttribute(name, variant("second"))) << name;
        object.SetProperty(name, variant("third"));
        EXPECT_EQ(object.GetProperty(name).cast<std::string>(), "third") << name;
        object.RemoveProperty(name);
        EXPECT_FALSE(object.holdsAttribute(name)) << name;
    }
}

TEST(Dispatch, AllThirteenReservedNamesAreNoDynamicProperties) {
    const char* const reserved[] = {"offsetWidth",     "offsetHeight", "width",        "height",
                                    "attributes",      "nodeType",     "namespaceURI", "localName",
                                    "wrappedJSObject", "prototype",    "style",        "id",
                                    "constructor"};
    auto object = boost::make_shared<MemberObject>();
    const FB::JSAPIPtr function = object->GetMethodObject("m");
    for (const char* name : reserved) {
        EXPECT_FALSE(object->HasProperty(name)) << name;
        EXPECT_TRUE(function->HasProperty(name)) << name << " on a method object";
    }
    EXPECT_TRUE(object->HasProperty("Style")) << "names are compared case-sensitively";
}

// Reports every registered method, whatever its zone, as subclasses may.
class ZoneBlindMethods : public MemberObject {
public:
    using MemberObject::MemberObject;
    bool HasMethod(const std::string& name) const override { return m_methods.count(name) != 0; }
};

TEST(Dispatch, AMethodAboveTheCurrentZoneIsNoPropertyEvenIfHasMethodSaysSo) {
    auto object = boost::make_shared<ZoneBlindMethods>(fixedMembers, 2);
    FB::scoped_zonelock zone(object, accessZone);
    ASSERT_TRUE(object->HasMethod("m"));
    EXPECT_FALSE(object->HasProperty("m"));
    FB::scoped_zonelock high(object, 2);
    EXPECT_TRUE(object->HasProperty("m"));
}

TEST(Dispatch, ScriptSetAttributeCannotReachANameOfAHigherZone) {
    auto object = boost::make_shared<MemberObject>(defaults, 2);
    FB::scoped_zonelock zone(object, accessZone);
    for (const std::string name : {"m", "a", "p"}) {
        try {
            object->Invoke("setAttribute", FB::variant_list_of(name)("new"));
            ADD_FAILURE() << name << " was written";
        } catch (const FB::invalid_member& e) {
            EXPECT_EQ(e.what(), noSuchMember(name));
        }
        EXPECT_EQ(object->zoneOf(name), 2);
    }
    EXPECT_EQ(object->getAttribute("a").cast<std::string>(), "A");
    EXPECT_FALSE(object->holdsAttribute("m"));
    object->Invoke("setAttribute", FB::variant_list_of("u")("new"));
    EXPECT_EQ(object->zoneOf("u"), accessZone);
}

TEST(Dispatch, PropertiesAreNotCallableAndNothingIsConstructed) {
    FB::JSAPIAuto object("d");
    EXPECT_THROW(object.Invoke("value", {}), FB::invalid_member);
    try {
        object.Construct(FB::variant_list_of(1));
        ADD_FAILURE() << "constructed";
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember("constructor"));
    }
}

// Members whose own bodies raise cast errors.
class Converting : public FB::JSAPIAuto {
public:
    Converting() : FB::JSAPIAuto("converting") {
        registerMethod("readInt", FB::make_method(this, &Converting::readInt));
        registerMethod("join", FB::make_method(this, &Converting::join));
        registerProperty("intProperty",
                         FB::make_property(this, &Converting::badGetter, &Converting::badSetter));
    }

    variant readInt(const variant& value) { return value.cast<int>(); }
    std::string join(const std::string& a, const std::string& b) { return a + b; }
    int badGetter() { return variant("text").cast<int>(); }
    void badSetter(const variant& value) { value.cast<int>(); }
};

const std::string couldNotConvertText =
    std::string("Could not convert from ") + typeid(std::string).name() + " to i";

TEST(Dispatch, CastErrorsOfMethodsAndSettersBecomeInvalidArgumentsButNotThoseOfGetters) {
    Converting object;
    try {
        object.Invoke("readInt", FB::variant_list_of("text"));
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_EQ(e.what(), couldNotConvertText);
    }
    try {
        object.SetProperty("intProperty", variant("text"));
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_EQ(e.what(), couldNotConvertText);
    }
    try {
        object.GetProperty("intProperty");
        ADD_FAILURE() << "accepted";
    } catch (const FB::bad_variant_cast& e) {
        EXPECT_STREQ(e.from, typeid(std::string).name());
        EXPECT_STREQ(e.to, "i");
    }
}

TEST(Dispatch, TheAdaptersOwnMessagesPassUnchanged) {
    Converting object;
    try {
        object.Invoke("join", FB::variant_list_of("a")(variant()));
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_EQ(e.what(), std::string("Invalid argument conversion from v to ") +
                                typeid(std::string).name() + " at index 2");
    }
    try {
        object.Invoke("readInt", FB::variant_list_of(1)(2));
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_STREQ(e.what(), "Too many arguments, expected 1.");
    }
}

TEST(Dispatch, IndexFormsAddressAttributesByTheirDecimalName) {
    FB::JSAPIAuto object("d");
    object.SetProperty(0, variant("zero"));
    EXPECT_EQ(object.GetProperty("0").cast<std::string>(), "zero");
    EXPECT_EQ(object.GetProperty(0).cast<std::string>(), "zero");
    EXPECT_TRUE(object.HasProperty(5));
    EXPECT_TRUE(object.GetProperty(5).is_of_type<FB::variant_detail::empty>());

    object.RemoveProperty(0);
    EXPECT_TRUE(object.getAttribute("0").is_of_type<FB::variant_detail::empty>());
    try {
        object.RemoveProperty(7);
        ADD_FAILURE() << "removed";
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember("7"));
    }
    object.registerAttribute("8", variant(8), true);
    EXPECT_THROW(object.RemoveProperty(8), FB::invalid_member);
    EXPECT_EQ(object.getAttribute("8").cast<int>(), 8);
}

TEST(Dispatch, IndexFormsWithFixedMembersReachOnlyExistingWritableAttributes) {
    MemberObject object(fixedMembers);
    EXPECT_FALSE(object.HasProperty(4));
    try {
        object.GetProperty(-1);
        ADD_FAILURE() << "read";
    } catch (const FB::invalid_member& e) {
        EXPECT_EQ(e.what(), noSuchMember("-1"));
    }
    EXPECT_THROW(object.SetProperty(4, variant(1)), FB::invalid_member);
    object.registerAttribute("4", variant(0), false);
    object.registerAttribute("5", variant(0), true);
    EXPECT_TRUE(object.HasProperty(4));
    object.SetProperty(4, variant(1));
    EXPECT_EQ(object.GetProperty(4).cast<int>(), 1);
    EXPECT_THROW(object.SetProperty(5, variant(1)), FB::invalid_member);
    EXPECT_THROW(object.RemoveProperty(4), FB::invalid_member);
    EXPECT_TRUE(object.holdsAttribute("4"));
}

TEST(Dispatch, IndexFormsCannotReachAnAttributeOfAHigherZone) {
    FB::JSAPIAuto object("d");
    {
        FB::scoped_zonelock high(&object, 2);
        object.registerAttribute("3", variant("secret"), false);
    }
    FB::scoped_zonelock zone(&object, accessZone);
    EXPECT_TRUE(object.GetProperty(3).is_of_type<FB::variant_detail::empty>());
    EXPECT_THROW(object.SetProperty(3, variant("new")), FB::invalid_member);
    EXPECT_THROW(object.RemoveProperty(3), FB::invalid_member);
    FB::scoped_zonelock high(&object, 2);
    EXPECT_EQ(object.GetProperty(3).cast<std::string>(), "secret");
}

FB::JSAPIPtr methodObject(FB::JSAPIAuto& object, const std::string& name) {
    return object.GetProperty(name).cast<FB::JSAPIPtr>();
}

TEST(Dispatch, AMethodObjectIsCachedPerZone) {
    auto object = boost::make_shared<MemberObject>();
    const FB::JSAPIPtr first = methodObject(*object, "m");
    EXPECT_EQ(methodObject(*object, "m"), first);
    EXPECT_EQ(object->GetMethodObject("m"), first);
    EXPECT_TRUE(object->HasMethodObject("m"));
    {
        FB::scoped_zonelock other(object, 1);
        EXPECT_NE(methodObject(*object, "m"), first);
    }
    EXPECT_EQ(methodObject(*object, "m"), first);
    const auto function = FB::ptr_cast<FB::JSFunction>(first);
    ASSERT_TRUE(function);
    EXPECT_EQ(function->ToString(), "m()");
    EXPECT_EQ(function->GetProperty("value").cast<std::string>(), "m()");
}

TEST(Dispatch, OnlyAccessibleMethodsHaveMethodObjects) {
    auto object = boost::make_shared<MemberObject>(defaults, 2);
    EXPECT_THROW(object->GetMethodObject("m"), FB::invalid_member);
    EXPECT_THROW(object->GetMethodObject("p"), FB::invalid_member);
    EXPECT_FALSE(object->HasMethodObject("m"));
}

TEST(Dispatch, AMethodObjectRunsTheMethodInItsOwnZone) {
    auto object = boost::make_shared<MemberObject>(defaults, 2);
    boost::shared_ptr<FB::JSFunction> function;
    {
        FB::scoped_zonelock three(object, 3);
        function = FB::ptr_cast<FB::JSFunction>(object->GetMethodObject("m"));
    }
    ASSERT_TRUE(function);
    EXPECT_EQ(function->getZone(), 3);
    EXPECT_EQ(function->exec(FB::variant_list_of(5)).cast<int>(), 5);
    EXPECT_EQ(object->zoneDuringCall, 3);
    EXPECT_EQ(object->getZone(), 0);

    object->unregisterMethod("m");
    EXPECT_THROW(function->exec({}), FB::invalid_member);
    EXPECT_EQ(object->getZone(), 0);
}

TEST(Dispatch, AMethodObjectOutlivesItsOwnerHarmlessly) {
    auto object = boost::make_shared<MemberObject>();
    const auto function = FB::ptr_cast<FB::JSFunction>(object->GetMethodObject("m"));
    object.reset();
    try {
        function->exec({});
        ADD_FAILURE() << "ran";
    } catch (const FB::script_error& e) {
        EXPECT_STREQ(e.what(), "Invalid JSAPI object");
    }
    EXPECT_EQ(function->Invoke("toString", {}).cast<std::string>(), "m()");
}

TEST(Dispatch, AMethodObjectHandsOutNoMethodObjectsAndReservesNoNames) {
    auto object = boost::make_shared<MemberObject>();
    const FB::JSAPIPtr function = object->GetMethodObject("m");
    EXPECT_FALSE(function->HasMethodObject("toString"));
    EXPECT_TRUE(function->GetProperty("toString").is_of_type<FB::variant_detail::empty>());
    EXPECT_TRUE(function->HasProperty("style"));
}

// A script object whose method runs a hook supplied by the test.
class Hooked : public FB::JSAPIAuto {
public:
    explicit Hooked(std::function<void()> hook) : FB::JSAPIAuto("hooked"), m_hook(hook) {
        registerMethod("run", [this](const FB::VariantList&) {
            m_hook();
            return Invoke("toString", {});
        });
    }

private:
    std::function<void()> m_hook;
};

TEST(Dispatch, AMethodRunsHoldingTheZoneMutex) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    Hooked object([&] {
        entered.set_value();
        released.wait_for(5s);
    });
    auto call = std::async(std::launch::async, [&] { return object.Invoke("run", {}); });
    ASSERT_EQ(entered.get_future().wait_for(5s), std::future_status::ready);

    auto read = std::async(std::launch::async, [&] { return object.HasMethod("run"); });
    EXPECT_EQ(read.wait_for(50ms), std::future_status::timeout);
    release.set_value();
    ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(read.get());
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(call.get().cast<std::string>(), "hooked");
}

// Clears a flag when the last copy of the functor holding it is gone.
class FunctorLife {
public:
    explicit FunctorLife(bool& alive) : m_alive(alive) { m_alive = true; }
    FunctorLife(const FunctorLife&) = delete;
    FunctorLife& operator=(const FunctorLife&) = delete;
    ~FunctorLife() { m_alive = false; }

private:
    bool& m_alive;
};

// A script object whose member "self" removes or replaces itself while it
// runs, and then notes whether the functor running it is still alive.
class SelfChanging : public FB::JSAPIAuto {
public:
    typedef std::function<void(SelfChanging&)> Change;

    explicit SelfChanging(const Change& change) : FB::JSAPIAuto("<self>"), m_change(change) {}

    // What runs after the change reads nothing of the functor's own.
    void changeItself() {
        m_change(*this);
        functorAliveAfterChange = functorAlive;
    }
    std::shared_ptr<FunctorLife> life() { return std::make_shared<FunctorLife>(functorAlive); }

    void registerSelfMethod() {
        registerMethod("self", [this, keep = life()](const FB::VariantList&) {
            changeItself();
            return variant();
        });
    }
    void registerSelfProperty() {
        const std::shared_ptr<FunctorLife> keep = life();
        registerProperty("self", FB::PropertyFunctors(
                                     [this, keep] {
                                         changeItself();
                                         return variant();
                                     },
                                     [this, keep](const variant&) { changeItself(); }));
    }

    bool functorAlive = false;
    bool functorAliveAfterChange = false;

private:
    Change m_change;
};

struct SelfChange {
    const char* label;
    bool method;
    SelfChanging::Change change;
    std::function<void(SelfChanging&)> call;
};

void PrintTo(const SelfChange& c, std::ostream* os) {
    *os << c.label;
}

class SelfChangingMembers : public ::testing::TestWithParam<SelfChange> {};

// The call keeps the functor it runs alive to its end; the removed functor
// goes once the call is over.
TEST_P(SelfChangingMembers, RunToTheirEndAndAreReleasedAfterwards) {
    const SelfChange& c = GetParam();
    auto object = boost::make_shared<SelfChanging>(c.change);
    if (c.method) {
        object->registerSelfMethod();
    } else {
        object->registerSelfProperty();
    }
    c.call(*object);
    EXPECT_TRUE(object->functorAliveAfterChange);
    EXPECT_FALSE(object->functorAlive);
}

INSTANTIATE_TEST_SUITE_P(
    Members, SelfChangingMembers,
    ::testing::Values(SelfChange{"method_unregisters_itself", true,
                                 [](SelfChanging& o) { o.unregisterMethod("self"); },
                                 [](SelfChanging& o) { o.Invoke("self", {}); }},
                      SelfChange{"method_replaces_itself", true,
                                 [](SelfChanging& o) {
                                     o.registerMethod("self",
                                                      FB::make_method(&o, &SelfChanging::ToString));
                                 },
                                 [](SelfChanging& o) { o.Invoke("self", {}); }},
                      SelfChange{"getter_unregisters_its_property", false,
                                 [](SelfChanging& o) { o.unregisterProperty("self"); },
                                 [](SelfChanging& o) { o.GetProperty("self"); }},
                      SelfChange{"setter_replaces_its_property", false,
                                 [](SelfChanging& o) {
                                     o.registerProperty(
                                         "self", FB::make_property(&o, &SelfChanging::ToString));
                                 },
                                 [](SelfChanging& o) { o.SetProperty("self", variant(1)); }}),
    [](const ::testing::TestParamInfo<SelfChange>& info) { return std::string(info.param.label); });

TEST(Dispatch, AfterInvalidationQueriesAnswerFalseAndOperationsRaise) {
    auto object = boost::make_shared<MemberObject>();
    object->invalidate();
    EXPECT_FALSE(object->HasMethod("m"));
    EXPECT_FALSE(object->HasMethodObject("m"));
    EXPECT_FALSE(object->HasProperty("p"));
    EXPECT_FALSE(object->HasProperty("u"));
    EXPECT_FALSE(object->HasProperty(1));

    const std::function<void()> operations[] = {
        [&] { object->GetProperty("p"); },
        [&] { object->GetProperty(1); },
        [&] { object->SetProperty("u", variant(1)); },
        [&] { object->SetProperty(1, variant(1)); },
        [&] { object->RemoveProperty("a"); },
        [&] { object->RemoveProperty(1); },
        [&] { object->Invoke("m", {}); },
        [&] { object->GetMethodObject("m"); },
        [&] { object->Construct({}); },
    };
    for (const auto& operation : operations) {
        try {
            operation();
            ADD_FAILURE() << "accepted";
        } catch (const FB::object_invalidated& e) {
            EXPECT_STREQ(e.what(), "This object is no longer valid");
        }
    }
    EXPECT_EQ(object->getMemberCount(), 10u);
    EXPECT_FALSE(object->holdsAttribute("u"));
    EXPECT_EQ(object->methodCalls, 0);
}

} // namespace
