#include "JSEvent.h"
#include "TestObjects.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using FB::variant;

std::vector<std::string> keysOf(const FB::VariantMap& map) {
    std::vector<std::string> keys;
    for (const auto& entry : map) {
        keys.push_back(entry.first);
    }
    return keys;
}

TEST(CreateEvent, HoldsTheFixedKeysAndTheArguments) {
    const FB::JSAPIPtr source = boost::make_shared<StubScriptObject>();
    const FB::VariantMap event =
        FB::CreateEvent(source, "onecho", FB::VariantMap(), FB::variant_list_of("hello")(2));

    EXPECT_EQ(keysOf(event),
              (std::vector<std::string>{"arguments", "bubbles", "cancelable", "currentTarget",
                                        "eventPhase", "namespaceURI", "target", "type"}));
    EXPECT_EQ(event.at("type").cast<std::string>(), "onecho");
    EXPECT_EQ(event.at("namespaceURI").cast<std::string>(), "onecho");
    EXPECT_EQ(event.at("target").cast<FB::JSAPIPtr>(), source);
    EXPECT_EQ(event.at("currentTarget").cast<FB::JSAPIPtr>(), source);
    EXPECT_EQ(event.at("eventPhase").cast<int>(), 2);
    EXPECT_FALSE(event.at("bubbles").cast<bool>());
    EXPECT_FALSE(event.at("cancelable").cast<bool>());
    const FB::VariantList arguments = event.at("arguments").cast<FB::VariantList>();
    ASSERT_EQ(arguments.size(), 2u);
    EXPECT_EQ(arguments[0].cast<std::string>(), "hello");
}

TEST(CreateEvent, ExtraMembersNeverReplaceFixedKeysAndArgumentsAlwaysWin) {
    const FB::VariantMap members{{"type", variant("other")},
                                 {"eventPhase", variant(9)},
                                 {"arguments", variant("replaced")},
                                 {"detail", variant(42)}};
    const FB::VariantMap event =
        FB::CreateEvent(FB::JSAPIPtr(), "ontest", members, FB::variant_list_of(1));

    EXPECT_EQ(event.size(), 9u);
    EXPECT_EQ(event.at("type").cast<std::string>(), "ontest");
    EXPECT_EQ(event.at("eventPhase").cast<int>(), 2);
    EXPECT_EQ(event.at("detail").cast<int>(), 42);
    EXPECT_EQ(event.at("arguments").cast<FB::VariantList>().size(), 1u);
}

TEST(CreateEvent, AnEmptySourceGivesNullTargets) {
    const FB::VariantMap event = FB::CreateEvent(FB::JSAPIPtr(), "ontest", FB::VariantList());
    EXPECT_TRUE(event.at("target").is_null());
    EXPECT_TRUE(event.at("currentTarget").is_null());
}

TEST(CreateEvent, ShortFormsFillInAnEmptyPart) {
    const FB::VariantMap withoutArguments =
        FB::CreateEvent(FB::JSAPIPtr(), "ontest", FB::VariantMap{{"detail", variant(1)}});
    EXPECT_TRUE(withoutArguments.at("arguments").cast<FB::VariantList>().empty());
    EXPECT_EQ(withoutArguments.at("detail").cast<int>(), 1);

    const FB::VariantMap withoutMembers =
        FB::CreateEvent(FB::JSAPIPtr(), "ontest", FB::variant_list_of(5));
    EXPECT_EQ(withoutMembers.size(), 8u);
    EXPECT_EQ(withoutMembers.at("arguments").cast<FB::VariantList>().size(), 1u);
}

} // namespace
