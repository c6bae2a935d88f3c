#include "FakeBrowserHost.h"
#include "LogCapture.h"
#include "PluginEvents/MouseEvents.h"
#include "TestCore.h"

#include <boost/make_shared.hpp>
#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>

namespace {

class PluginCoreTest : public ::testing::Test {
protected:
    PluginCoreTest() {
        core->SetHost(host);
        host->window()->properties["pageHandler"] = FB::variant(FB::JSObjectPtr(handler));
        handler->methods[""] = [this](const FB::VariantList& args) {
            handlerCalls.push_back(args);
            return FB::variant();
        };
    }

    std::vector<std::string> coreLog() const { return capture.messages("PluginCore"); }

    LogCapture capture;
    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    boost::shared_ptr<FakePageObject> handler = boost::make_shared<FakePageObject>(host);
    std::vector<FB::VariantList> handlerCalls;
    boost::shared_ptr<TestCore> core = boost::make_shared<TestCore>();
};

// How a parameter is kept after setParams.
enum class Kept { GivenValue, PageHandler, EmptyHandler };

struct ParamCase {
    std::string name;
    FB::variant value;
    Kept kept;
    // The core's log line for it, if any.
    std::string log;
};

TEST_F(PluginCoreTest, SetParamsKeepsValuesAndLooksUpOnlyHandlersNamedOn) {
    host->window()->properties["aNumber"] = 42;
    host->window()->properties["aText"] = "text";
    host->window()->failingReads.insert("unreadable");
    const ParamCase cases[] = {
        {"onload", "pageHandler", Kept::PageHandler, "Found <param> event handler: onload"},
        {"mode", "pageHandler", Kept::GivenValue, ""},
        {"onmissing", "noSuchProperty", Kept::EmptyHandler,
         "Found <param> event handler: onmissing"},
        {"onnumber", "aNumber", Kept::GivenValue,
         "Exception processing <param> onnumber: bad cast"},
        {"ontext", "aText", Kept::GivenValue, "Exception processing <param> ontext: bad cast"},
        {"onfail", "unreadable", Kept::GivenValue,
         "Exception processing <param> onfail: The specified member does not exist: unreadable"},
        {"onlist", FB::VariantList{1, 2}, Kept::GivenValue,
         "Exception processing <param> onlist: bad cast"},
        {"o", "pageHandler", Kept::GivenValue, ""},
        {"", "pageHandler", Kept::GivenValue, ""},
        {"Onload", "pageHandler", Kept::GivenValue, ""},
    };
    for (const ParamCase& param : cases) {
        SCOPED_TRACE("parameter \"" + param.name + "\"");
        capture.clear();
        core->setParams(FB::VariantMap{{param.name, param.value}});

        const FB::variant kept = core->getParamVariant(param.name);
        switch (param.kept) {
        case Kept::GivenValue:
            EXPECT_TRUE(kept.get_type() == param.value.get_type());
            if (param.value.is_of_type<std::string>()) {
                EXPECT_EQ(kept.cast<std::string>(), param.value.cast<std::string>());
            }
            break;
        case Kept::PageHandler:
            EXPECT_EQ(kept.convert_cast<FB::JSObjectPtr>(), handler);
            break;
        case Kept::EmptyHandler:
            EXPECT_TRUE(kept.is_null());
            break;
        }
        EXPECT_EQ(coreLog(), param.log.empty() ? std::vector<std::string>()
                                               : std::vector<std::string>{param.log});
    }
}

TEST_F(PluginCoreTest, LaterParametersReplaceTheirOwnKeyOnly) {
    core->setParams(FB::VariantMap{{"a", "1"}, {"b", "2"}});
    core->setParams(FB::VariantMap{{"b", "3"}});
    EXPECT_EQ(core->getParam("a"), std::string("1"));
    EXPECT_EQ(core->getParam("b"), std::string("3"));
    EXPECT_FALSE(core->getParam("c"));
    EXPECT_TRUE(core->getParamVariant("c").empty());

    core->setParams(FB::VariantMap{{"list", FB::VariantList{1}}});
    EXPECT_THROW(core->getParam("list"), FB::bad_variant_cast);
}

TEST_F(PluginCoreTest, OnloadIsCalledAfter250MsWithTheRootObjectAsItsOnlyArgument) {
    core->setParams(FB::VariantMap{{"onload", "pageHandler"}, {"mode", "x"}});
    capture.clear();

    EXPECT_TRUE(core->setReady());
    EXPECT_EQ(coreLog(), (std::vector<std::string>{"Plugin Ready", "InvokeDelayed(onload)"}));
    EXPECT_EQ(core->readyHooks, 1);
    EXPECT_EQ(core->createdScriptObjects, 1) << "the root object is made for the call";

    EXPECT_EQ(host->advancePageClock(249), 0u);
    EXPECT_TRUE(handlerCalls.empty());
    EXPECT_EQ(host->advancePageClock(1), 1u);
    ASSERT_EQ(handlerCalls.size(), 1u);
    ASSERT_EQ(handlerCalls[0].size(), 1u);
    EXPECT_EQ(handlerCalls[0][0].cast<FB::JSAPIPtr>(), core->getRootJSAPI());
    EXPECT_EQ(core->createdScriptObjects, 1);
}

TEST_F(PluginCoreTest, WithoutOnloadReadinessSchedulesNothing) {
    core->setParams(FB::VariantMap{{"mode", "x"}});
    capture.clear();
    EXPECT_FALSE(core->setReady());
    EXPECT_EQ(coreLog(), std::vector<std::string>{"Plugin Ready"});
    EXPECT_EQ(core->readyHooks, 1);
    EXPECT_TRUE(host->evaluatedScripts.empty()) << "no page helper is installed";
    EXPECT_EQ(host->pendingTimers(), 0u);
}

TEST_F(PluginCoreTest, AnOnloadThatIsNoPageFunctionSchedulesNothing) {
    host->window()->properties["aNumber"] = 42;
    for (const char* target : {"noSuchProperty", "aNumber"}) {
        SCOPED_TRACE(target);
        core->setParams(FB::VariantMap{{"onload", target}});
        EXPECT_FALSE(core->setReady());
        EXPECT_EQ(host->pendingTimers(), 0u);
    }
    EXPECT_EQ(core->readyHooks, 2);
}

TEST_F(PluginCoreTest, ReadinessIsReportedOnlyWhenThePageTookTheCall) {
    core->setParams(FB::VariantMap{{"onload", "pageHandler"}});
    host->runsScripts = false;
    EXPECT_FALSE(core->setReady()) << "the page never installed its helper";
    EXPECT_EQ(host->pendingTimers(), 0u);
    EXPECT_EQ(core->readyHooks, 1);
}

TEST_F(PluginCoreTest, TheRootObjectIsMadeOnceUntilReleased) {
    const FB::JSAPIPtr root = core->getRootJSAPI();
    EXPECT_EQ(core->getRootJSAPI(), root);
    EXPECT_EQ(core->createdScriptObjects, 1);
    core->releaseRootJSAPI();
    EXPECT_NE(core->getRootJSAPI(), root);
    EXPECT_EQ(core->createdScriptObjects, 2);
}

TEST_F(PluginCoreTest, WindowlessIsReadOnceFromTheParameter) {
    struct Case {
        FB::VariantMap params;
        bool windowless;
    };
    const Case cases[] = {
        {{{"windowless", "true"}}, true},
        {{{"windowless", "1"}}, true},
        {{{"windowless", true}}, true},
        {{{"windowless", "false"}}, false},
        {{}, false},
        {{{"windowless", FB::VariantList{1}}}, false},
    };
    for (const Case& c : cases) {
        const auto fresh = boost::make_shared<TestCore>();
        fresh->setParams(c.params);
        EXPECT_EQ(fresh->isWindowless(), c.windowless);
        fresh->setParams(FB::VariantMap{{"windowless", c.windowless ? "false" : "true"}});
        EXPECT_EQ(fresh->isWindowless(), c.windowless) << "the first answer stays";
    }
}

TEST_F(PluginCoreTest, AWindowIsAttachedOnceAndReplacedInOrder) {
    const auto first = boost::make_shared<TestWindow>();
    const auto second = boost::make_shared<TestWindow>();
    core->SetWindow(first.get());
    core->SetWindow(first.get());
    EXPECT_EQ(core->GetWindow(), first.get());
    FB::MouseMoveEvent move(1, 1, 0);
    first->SendEvent(&move);

    core->SetWindow(second.get());
    EXPECT_EQ(core->GetWindow(), second.get());
    core->ClearWindow();
    EXPECT_EQ(core->GetWindow(), nullptr);
    core->ClearWindow();
    first->SendEvent(&move);
    second->SendEvent(&move);

    const std::vector<std::pair<std::string, FB::PluginEventSource*>> expected = {
        {"attached", first.get()},  {"other", first.get()},     {"detached", first.get()},
        {"attached", second.get()}, {"detached", second.get()},
    };
    ASSERT_EQ(core->events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(core->events[i].event, expected[i].first) << "event " << i;
        EXPECT_EQ(core->events[i].source, expected[i].second) << "event " << i;
    }
    EXPECT_EQ(coreLog(),
              (std::vector<std::string>{"Window Set", "Window Set", "Window Set", "Window Cleared",
                                        "Window Cleared", "Window Cleared"}));
}

TEST_F(PluginCoreTest, ThePlatformIsLogged) {
    FB::PluginCore::setPlatform("Mac", "NPAPI");
    const std::vector<FB::Log::Record> records = capture.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, FB::Log::LogLevel_Info);
    EXPECT_EQ(records[0].src, "PluginCore");
    EXPECT_EQ(records[0].msg, "os: Mac; browser: NPAPI");
}

TEST_F(PluginCoreTest, LiveCoresAreCountedAndADyingCoreShutsItsHostDown) {
    const int before = FB::PluginCore::getActivePluginCount();
    auto second = boost::make_shared<TestCore>();
    auto third = boost::make_shared<TestCore>();
    EXPECT_EQ(FB::PluginCore::getActivePluginCount(), before + 2);
    third.reset();
    EXPECT_EQ(FB::PluginCore::getActivePluginCount(), before + 1);

    EXPECT_FALSE(host->isShutDown());
    core.reset();
    EXPECT_TRUE(host->isShutDown());
    EXPECT_EQ(FB::PluginCore::getActivePluginCount(), before);
}

TEST(PluginCoreWithoutHost, NeitherReadinessNorDestructionNeedsAHost) {
    LogCapture capture;
    auto core = boost::make_shared<TestCore>();
    core->setParams(FB::VariantMap{{"onload", "pageHandler"}});
    EXPECT_EQ(capture.messages("PluginCore"),
              std::vector<std::string>{"Exception processing <param> onload: No browser host"});
    EXPECT_EQ(core->getParam("onload"), std::string("pageHandler"));
    EXPECT_FALSE(core->setReady());
    core.reset();
}

} // namespace
