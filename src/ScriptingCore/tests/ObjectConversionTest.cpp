#include "FakeBrowserHost.h"
#include "FakePageObject.h"
#include "JSObject.h"
#include "TestObjects.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <boost/weak_ptr.hpp>
#include <gtest/gtest.h>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using FB::variant;

typedef std::vector<FB::JSObjectPtr> PageObjects;

// What a read gives: the object (nullptr for an empty pointer), or a
// refusal naming the type that refused.
struct Expected {
    const FB::JSAPI* object;
    const std::type_info* refusedAs;
};

Expected gives(const FB::JSAPIPtr& obj) {
    return {obj.get(), nullptr};
}
const Expected empty{nullptr, nullptr};
Expected refusedAs(const std::type_info& type) {
    return {nullptr, &type};
}

template <typename T> void checkPointerRead(const variant& input, const Expected& expected) {
    try {
        const boost::shared_ptr<T> result = input.convert_cast<boost::shared_ptr<T>>();
        EXPECT_EQ(expected.refusedAs, nullptr) << "the read was accepted";
        EXPECT_EQ(result.get(), expected.object);
    } catch (const FB::bad_variant_cast& e) {
        ASSERT_NE(expected.refusedAs, nullptr) << "refused as " << e.to;
        EXPECT_STREQ(e.from, input.get_type().name());
        EXPECT_STREQ(e.to, expected.refusedAs->name());
    }
}

class ObjectConversion : public ::testing::Test {
protected:
    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    FB::JSAPIPtr script = boost::make_shared<StubScriptObject>();
    FakePageObjectPtr page = boost::make_shared<FakePageObject>(host);
    FakePageObjectPtr wrapper = boost::make_shared<FakePageObject>(host);

    ObjectConversion() { wrapper->wrapped = script; }
};

TEST_F(ObjectConversion, ObjectPointersFollowTheTable) {
    const boost::weak_ptr<FB::JSAPI> gone = boost::make_shared<StubScriptObject>();
    struct Case {
        const char* label;
        variant input;
        Expected asPageObject;
        Expected asScriptObject;
    };
    const Case cases[] = {
        {"no value", variant(), empty, empty},
        {"empty tag", variant(FB::variant_detail::empty()), empty, empty},
        {"null tag", variant(FB::variant_detail::null()), empty, empty},
        {"page object", variant(page), gives(page), gives(page)},
        {"page object wrapping a script object", variant(wrapper), gives(wrapper), gives(script)},
        {"script object", variant(script), refusedAs(typeid(FB::JSObject)), gives(script)},
        {"live weak script object", variant(boost::weak_ptr<FB::JSAPI>(script), true),
         refusedAs(typeid(FB::JSObject)), gives(script)},
        {"live weak page object", variant(boost::weak_ptr<FB::JSAPI>(page), true), gives(page),
         gives(page)},
        {"expired weak pointer", variant(gone, true), empty, empty},
        {"text", variant("text"), refusedAs(typeid(FB::JSAPIPtr)), refusedAs(typeid(FB::JSAPIPtr))},
        {"number", variant(7), refusedAs(typeid(FB::JSAPIPtr)), refusedAs(typeid(FB::JSAPIPtr))},
        {"list", variant(FB::VariantList()), refusedAs(typeid(FB::JSAPIPtr)),
         refusedAs(typeid(FB::JSAPIPtr))},
        {"map", variant(FB::VariantMap()), refusedAs(typeid(FB::JSAPIPtr)),
         refusedAs(typeid(FB::JSAPIPtr))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        checkPointerRead<FB::JSObject>(c.input, c.asPageObject);
        checkPointerRead<FB::JSAPI>(c.input, c.asScriptObject);
    }
}

TEST_F(ObjectConversion, CanBePageObjectWhenTheReadSucceeds) {
    const boost::weak_ptr<FB::JSAPI> gone = boost::make_shared<StubScriptObject>();
    struct Case {
        const char* label;
        variant input;
        bool canBe;
    };
    const Case cases[] = {
        {"page object", variant(page), true},
        {"no value", variant(), true},
        {"empty tag", variant(FB::variant_detail::empty()), true},
        {"null tag", variant(FB::variant_detail::null()), true},
        {"number", variant(1), false},
        {"text", variant("text"), false},
        {"list", variant(FB::VariantList()), false},
        {"map", variant(FB::VariantMap()), false},
        {"script object", variant(script), false},
        {"expired weak pointer", variant(gone, true), true},
        {"live weak script object", variant(boost::weak_ptr<FB::JSAPI>(script), true), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.input.can_be_type<FB::JSObjectPtr>(), c.canBe);
    }
}

// The type that refuses a container read: the page-object pointer.
template <typename Container> void expectContainerRefused(const variant& input) {
    try {
        input.convert_cast<Container>();
        ADD_FAILURE() << "the read was accepted";
    } catch (const FB::bad_variant_cast& e) {
        EXPECT_STREQ(e.from, input.get_type().name());
        EXPECT_STREQ(e.to, typeid(FB::JSObjectPtr).name());
    }
}

TEST_F(ObjectConversion, ValuesWithoutObjectReadAsEmptyContainers) {
    const variant inputs[] = {variant(), variant(FB::variant_detail::empty()),
                              variant(FB::variant_detail::null())};
    for (const variant& input : inputs) {
        SCOPED_TRACE(input.get_type().name());
        EXPECT_TRUE(input.convert_cast<FB::VariantList>().empty());
        EXPECT_TRUE(input.convert_cast<FB::VariantMap>().empty());
        EXPECT_TRUE(input.convert_cast<PageObjects>().empty());
    }
}

TEST_F(ObjectConversion, ValuesThatAreNoPageObjectAreRefusedAsContainers) {
    const variant inputs[] = {variant("text"), variant(3), variant(FB::VariantList()),
                              variant(script)};
    for (const variant& input : inputs) {
        SCOPED_TRACE(input.get_type().name());
        expectContainerRefused<FB::VariantMap>(input);
        expectContainerRefused<PageObjects>(input);
    }
    expectContainerRefused<FB::VariantList>(variant("text"));
    expectContainerRefused<FB::VariantList>(variant(FB::VariantMap()));
}

TEST_F(ObjectConversion, HeldContainersAreCopied) {
    const FB::VariantList list = FB::variant_list_of(1)("two");
    const FB::VariantList listRead = variant(list).convert_cast<FB::VariantList>();
    ASSERT_EQ(listRead.size(), 2u);
    EXPECT_EQ(listRead[1].cast<std::string>(), "two");

    const FB::VariantMap map{{"a", variant(1)}};
    EXPECT_EQ(variant(map).convert_cast<FB::VariantMap>().at("a").cast<int>(), 1);
}

TEST_F(ObjectConversion, APageArrayReadsElementByElement) {
    const auto element = boost::make_shared<FakePageObject>(host);
    const variant array(FakePageObject::makeArray(
        host, FB::variant_list_of(element)(FB::variant_detail::null())("x")));

    const FB::VariantList list = array.convert_cast<FB::VariantList>();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].cast<FB::JSObjectPtr>(), element);
    EXPECT_TRUE(list[1].is_null());
    EXPECT_EQ(list[2].cast<std::string>(), "x");

    try {
        array.convert_cast<PageObjects>();
        ADD_FAILURE() << "a text element was read as a page object";
    } catch (const FB::bad_variant_cast& e) {
        EXPECT_STREQ(e.to, typeid(FB::JSAPIPtr).name());
    }

    const variant objects(
        FakePageObject::makeArray(host, FB::variant_list_of(element)(FB::variant_detail::null())));
    const PageObjects read = objects.convert_cast<PageObjects>();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0], element);
    EXPECT_FALSE(read[1]);
}

TEST_F(ObjectConversion, APageObjectReadsAsAMapOfItsMembers) {
    page->properties = {{"name", variant("box")}, {"size", variant(3)}};
    const FB::VariantMap map = variant(page).convert_cast<FB::VariantMap>();
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at("name").cast<std::string>(), "box");
    EXPECT_EQ(map.at("size").cast<int>(), 3);
}

} // namespace
