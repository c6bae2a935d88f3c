#include "JSObject.h"
#include "FakeBrowserHost.h"
#include "FakePageObject.h"
#include "JSExceptions.h"
#include "ShareableReference.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <boost/smart_ptr/bad_weak_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

using FB::variant;

class AsyncCalls : public ::testing::Test {
protected:
    AsyncCalls() {
        page->methods[""] = [](const FB::VariantList&) { return variant(); };
        page->methods["update"] = [](const FB::VariantList&) { return variant(); };
    }
    void TearDown() override {
        if (host) {
            host->shutdown();
        }
    }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    FakePageObjectPtr page = boost::make_shared<FakePageObject>(host);
    const FB::VariantList args = FB::variant_list_of(1)("two");
};

TEST_F(AsyncCalls, InvokeRunsOnceFromThePageTimerOnTheFunctionItself) {
    std::thread worker([this] { page->InvokeAsync("", args); });
    worker.join();
    EXPECT_TRUE(host->helperCalls.empty());
    EXPECT_TRUE(page->invocations.empty());

    EXPECT_EQ(host->pumpMainThread(), 1u);
    ASSERT_EQ(host->helperCalls.size(), 1u);
    EXPECT_EQ(host->helperCalls[0].size(), 3u) << "three arguments call the function itself";
    EXPECT_EQ(host->helperCalls[0][0].cast<int>(), 0);
    EXPECT_EQ(host->helperCalls[0][1].cast<FB::JSObjectPtr>(), page);
    EXPECT_TRUE(page->invocations.empty()) << "the page's timer makes the call";

    EXPECT_EQ(host->runPageTimers(), 1u);
    ASSERT_EQ(page->invocations.size(), 1u);
    EXPECT_EQ(page->invocations[0].name, "");
    ASSERT_EQ(page->invocations[0].args.size(), 2u);
    EXPECT_EQ(page->invocations[0].args[1].cast<std::string>(), "two");

    EXPECT_EQ(host->pumpMainThread(), 0u);
    EXPECT_EQ(host->runPageTimers(), 0u);
    EXPECT_EQ(page->invocations.size(), 1u);
}

TEST_F(AsyncCalls, InvokeWithAMethodNameCallsThatMethodOfThePageObject) {
    page->InvokeAsync("update", args);
    host->pumpMainThread();
    ASSERT_EQ(host->helperCalls.size(), 1u);
    ASSERT_EQ(host->helperCalls[0].size(), 4u);
    EXPECT_EQ(host->helperCalls[0][3].cast<std::string>(), "update");

    host->runPageTimers();
    ASSERT_EQ(page->invocations.size(), 1u);
    EXPECT_EQ(page->invocations[0].name, "update");
    EXPECT_EQ(page->invocations[0].args.size(), 2u);
}

TEST_F(AsyncCalls, SetPropertyWritesOnceOnTheMainThreadWithoutThePageTimer) {
    std::thread worker([this] { page->SetPropertyAsync("title", variant(std::string("new"))); });
    worker.join();
    EXPECT_FALSE(page->HasProperty("title"));

    EXPECT_EQ(host->pumpMainThread(), 1u);
    EXPECT_EQ(page->GetProperty("title").cast<std::string>(), "new");
    EXPECT_TRUE(host->helperCalls.empty());
    EXPECT_EQ(host->pumpMainThread(), 0u);
}

TEST_F(AsyncCalls, TheWaitingCallKeepsThePageObjectAlive) {
    const boost::weak_ptr<FakePageObject> watched = page;
    page->SetPropertyAsync("title", variant(1));
    page.reset();
    EXPECT_FALSE(watched.expired());
    host->pumpMainThread();
    EXPECT_TRUE(watched.expired());
}

TEST_F(AsyncCalls, WithoutAPageHelperTheInvokeReachesNothing) {
    host->hasWindow = false;
    page->InvokeAsync("", args);
    EXPECT_EQ(host->pumpMainThread(), 1u);
    EXPECT_EQ(host->pendingTimers(), 0u);
    EXPECT_TRUE(page->invocations.empty());
}

TEST_F(AsyncCalls, AfterShutdownTheCallsAreDroppedWithoutAWord) {
    host->shutdown();
    EXPECT_NO_THROW(page->InvokeAsync("", args));
    EXPECT_NO_THROW(page->SetPropertyAsync("title", variant(1)));
    EXPECT_EQ(host->pendingCalls(), 0u);
    EXPECT_EQ(page.use_count(), 1);
    EXPECT_FALSE(page->HasProperty("title"));
}

TEST_F(AsyncCalls, AfterTheHostIsGoneTheCallsFail) {
    host->shutdown();
    host.reset();
    const std::function<void()> calls[] = {
        [this] { page->InvokeAsync("", args); },
        [this] { page->SetPropertyAsync("title", variant(1)); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "the call was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Cannot invoke asynchronously");
        }
    }
    EXPECT_THROW(page->getHost(), boost::bad_weak_ptr);
}

// The page's failure reaches the reader's caller as a plain script_error
// with the same text.
template <typename Read> void expectPlainScriptError(Read read, const std::string& text) {
    try {
        read();
        ADD_FAILURE() << "the read succeeded";
    } catch (const FB::script_error& e) {
        EXPECT_EQ(typeid(e), typeid(FB::script_error));
        EXPECT_EQ(e.what(), text);
    }
}

// Page arrays and page objects read by the two readers.
class Readers : public ::testing::Test {
protected:
    FakePageObjectPtr arrayOf(const FB::VariantList& elements) {
        return FakePageObject::makeArray(host, elements);
    }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
};

TEST_F(Readers, AnEmptySourceLeavesTheDestinationAsItWas) {
    FB::VariantList list = FB::variant_list_of(1);
    FB::VariantMap map{{"kept", variant(1)}};
    FB::JSObject::GetArrayValues(FB::JSObjectPtr(), list);
    FB::JSObject::GetObjectValues(FB::JSObjectPtr(), map);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(map.size(), 1u);
}

TEST_F(Readers, ArrayElementsAreAppendedInIndexOrder) {
    FB::VariantList list = FB::variant_list_of("a")("b");
    FB::JSObject::GetArrayValues(arrayOf(FB::variant_list_of(1)("two")(3.5)), list);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].cast<std::string>(), "a");
    EXPECT_EQ(list[1].cast<std::string>(), "b");
    EXPECT_EQ(list[2].cast<int>(), 1);
    EXPECT_EQ(list[3].cast<std::string>(), "two");
    EXPECT_EQ(list[4].cast<double>(), 3.5);
}

TEST_F(Readers, LengthIsReadByTheNumericConversion) {
    struct Case {
        const char* label;
        variant length;
        std::size_t read;
    };
    const Case cases[] = {
        {"zero", variant(0), 0},
        {"int", variant(3), 3},
        {"truncated double", variant(2.9), 2},
        {"text", variant("2"), 2},
        {"boolean", variant(true), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto array = arrayOf(FB::variant_list_of(1)(2)(3));
        array->properties["length"] = c.length;
        FB::VariantList list;
        FB::JSObject::GetArrayValues(array, list);
        EXPECT_EQ(list.size(), c.read);
    }
}

TEST_F(Readers, ALengthOutsideTheIndexRangeIsRefusedBeforeAnyElementIsRead) {
    const variant lengths[] = {variant(-1), variant(static_cast<long>(INT_MAX) + 1), variant(1e300),
                               variant(-1e300), variant(std::nan(""))};
    for (const variant& length : lengths) {
        SCOPED_TRACE(length.convert_cast<std::string>());
        const auto array = arrayOf(FB::variant_list_of(1));
        array->properties["length"] = length;
        array->failingReads.insert("0");
        FB::VariantList list;
        try {
            FB::JSObject::GetArrayValues(array, list);
            ADD_FAILURE() << "the length was accepted";
        } catch (const FB::script_error& e) {
            EXPECT_STREQ(e.what(), "Invalid array length");
        }
        EXPECT_TRUE(list.empty());
    }
}

TEST_F(Readers, ALengthThatIsNoNumberFailsAsItsConversion) {
    const auto array = arrayOf(FB::variant_list_of(1));
    array->properties["length"] = "many";
    FB::VariantList list;
    try {
        FB::JSObject::GetArrayValues(array, list);
        ADD_FAILURE() << "the length was accepted";
    } catch (const FB::bad_variant_cast& e) {
        EXPECT_STREQ(e.from, typeid(std::string).name());
        EXPECT_STREQ(e.to, typeid(long).name());
    }
    EXPECT_TRUE(list.empty());
}

TEST_F(Readers, AFailedElementReadBecomesAPlainScriptErrorAndKeepsWhatWasRead) {
    const auto array = arrayOf(FB::variant_list_of(1)(2)(3));
    array->failingReads.insert("1");
    FB::VariantList list;
    expectPlainScriptError([&] { FB::JSObject::GetArrayValues(array, list); },
                           FB::invalid_member("1").what());
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(Readers, AnUnconvertibleElementFailsAsItsConversionAndKeepsWhatWasRead) {
    std::vector<FB::JSObjectPtr> objects;
    const auto element = boost::make_shared<FakePageObject>(host);
    EXPECT_THROW(FB::JSObject::GetArrayValues(arrayOf(FB::variant_list_of(element)(7)), objects),
                 FB::bad_variant_cast);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0], element);
}

TEST_F(Readers, ObjectMembersAreAddedWithoutReplacingKeysAlreadyPresent) {
    const auto object = boost::make_shared<FakePageObject>(host);
    object->properties = {{"kept", variant(2)}, {"new", variant("value")}};
    FB::VariantMap map{{"kept", variant(1)}};
    FB::JSObject::GetObjectValues(object, map);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map["kept"].cast<int>(), 1);
    EXPECT_EQ(map["new"].cast<std::string>(), "value");
}

TEST_F(Readers, AFailedMemberReadBecomesAPlainScriptErrorAndKeepsWhatWasRead) {
    const auto object = boost::make_shared<FakePageObject>(host);
    object->properties = {{"a", variant(1)}, {"b", variant(2)}};
    object->failingReads.insert("b");
    FB::VariantMap map;
    expectPlainScriptError([&] { FB::JSObject::GetObjectValues(object, map); },
                           FB::invalid_member("b").what());
    EXPECT_EQ(map.size(), 1u);
}

// A target that hands out weak pointers to itself through its holder.
struct Target {
    boost::shared_ptr<FB::ShareableReference<Target>> holder =
        boost::make_shared<FB::ShareableReference<Target>>(this);
};

TEST(ShareableReference, WeakPointersExpireWithTheTarget) {
    boost::weak_ptr<FB::ShareableReference<Target>> watched;
    {
        Target target;
        watched = target.holder;
        const auto locked = watched.lock();
        ASSERT_TRUE(locked);
        EXPECT_EQ(locked->getPtr(), &target);
        EXPECT_EQ(locked->shared_from_this(), target.holder);
    }
    EXPECT_TRUE(watched.expired());
}

} // namespace
