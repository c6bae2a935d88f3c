#include "BrowserHost.h"
#include "FakeBrowserHost.h"
#include "FakePageObject.h"
#include "JSExceptions.h"
#include "LogCapture.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using FB::variant;

const std::string helperTemplate =
    "window.__FB_CALL_%1% = function(delay, f, args, fname) {   if (arguments.length == 3)       "
    "return setTimeout(function() { f.apply(null, args); }, delay);   else       return "
    "setTimeout(function() { f[fname].apply(f, args); }, delay);};";

// The helper names the window holds, in name order.
std::vector<std::string> helperNames(FakeBrowserHost& host) {
    std::vector<std::string> names;
    for (const auto& property : host.window()->properties) {
        if (property.first.compare(0, 10, "__FB_CALL_") == 0) {
            names.push_back(property.first);
        }
    }
    return names;
}

class PageHelper : public ::testing::Test {
protected:
    PageHelper() {
        func->methods[""] = [this](const FB::VariantList& args) {
            calls.push_back("func(" + std::to_string(args.size()) + ")");
            return variant();
        };
        func->methods["update"] = [this](const FB::VariantList& args) {
            calls.push_back("func.update(" + std::to_string(args.size()) + ")");
            return variant();
        };
    }
    void TearDown() override { host->shutdown(); }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    FakePageObjectPtr func = boost::make_shared<FakePageObject>(host);
    std::vector<std::string> calls;
    const FB::VariantList args = FB::variant_list_of(1)("two");
};

TEST_F(PageHelper, InitJSInstallsTheHelperScriptUnderANameOfItsOwn) {
    host->initJS(host.get());
    ASSERT_EQ(host->evaluatedScripts.size(), 1u);
    const std::vector<std::string> names = helperNames(*host);
    ASSERT_EQ(names.size(), 1u) << "the page ran exactly the helper's text";
    const std::string key = names[0].substr(10);
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(key.find_first_not_of("0123456789"), std::string::npos) << key;

    std::string expected = helperTemplate;
    expected.replace(expected.find("%1%"), 3, key);
    EXPECT_EQ(host->evaluatedScripts[0], expected);

    // Nothing of the name comes from where the host or the caller lie.
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(host.get());
    EXPECT_NE(key, std::to_string(address + (address >> 3)));
    EXPECT_NE(key, std::to_string(address));

    host->initJS(func.get());
    EXPECT_EQ(host->evaluatedScripts[1], expected) << "a host keeps its helper's name";
}

TEST_F(PageHelper, TwoHostsInstallTwoHelpers) {
    const auto other = boost::make_shared<FakeBrowserHost>();
    host->initJS(host.get());
    other->initJS(host.get());
    ASSERT_EQ(helperNames(*host).size(), 1u);
    ASSERT_EQ(helperNames(*other).size(), 1u);
    EXPECT_NE(helperNames(*host)[0], helperNames(*other)[0]);
    other->shutdown();
}

TEST_F(PageHelper, AFunctionCallRunsFromThePageTimerAfterItsDelay) {
    EXPECT_EQ(host->delayedInvoke(250, func, args, ""), 1);
    ASSERT_EQ(host->helperCalls.size(), 1u);
    const FB::VariantList& helperArgs = host->helperCalls[0];
    ASSERT_EQ(helperArgs.size(), 3u);
    EXPECT_EQ(helperArgs[0].cast<int>(), 250);
    EXPECT_EQ(helperArgs[1].cast<FB::JSObjectPtr>(), func);
    EXPECT_EQ(helperArgs[2].cast<FB::VariantList>().size(), 2u);

    EXPECT_EQ(host->advancePageClock(249), 0u);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(host->advancePageClock(1), 1u);
    EXPECT_EQ(calls, std::vector<std::string>{"func(2)"});
}

TEST_F(PageHelper, AMethodCallPassesTheNameAsAFourthArgument) {
    EXPECT_EQ(host->delayedInvoke(0, func, args, "update"), 1);
    EXPECT_EQ(host->delayedInvoke(10, func, FB::VariantList(), ""), 2);
    ASSERT_EQ(host->helperCalls.size(), 2u);
    ASSERT_EQ(host->helperCalls[0].size(), 4u);
    EXPECT_EQ(host->helperCalls[0][3].cast<std::string>(), "update");

    EXPECT_EQ(host->advancePageClock(0), 1u);
    EXPECT_EQ(host->advancePageClock(10), 1u);
    EXPECT_EQ(calls, (std::vector<std::string>{"func.update(2)", "func(0)"}));
    EXPECT_EQ(host->evaluatedScripts.size(), 1u) << "the helper is installed once";
}

TEST_F(PageHelper, WithoutAWindowNothingIsScheduledOrEvaluated) {
    host->hasWindow = false;
    EXPECT_FALSE(host->getDelayedInvokeDelegate());
    EXPECT_EQ(host->delayedInvoke(0, func, args, ""), -1);
    EXPECT_TRUE(host->evaluatedScripts.empty());
}

TEST_F(PageHelper, APageThatRunsNoScriptHasNoHelper) {
    host->runsScripts = false;
    EXPECT_EQ(host->delayedInvoke(0, func, args, ""), -1);
    EXPECT_EQ(host->evaluatedScripts.size(), 2u) << "installed, then tried again once";
}

TEST_F(PageHelper, AHelperThePageLostIsInstalledAgainUnderTheSameName) {
    host->delayedInvoke(0, func, args, "");
    const std::string name = helperNames(*host).at(0);
    host->window()->properties.erase(name);

    EXPECT_EQ(host->delayedInvoke(0, func, args, ""), 2);
    ASSERT_EQ(host->evaluatedScripts.size(), 2u);
    EXPECT_EQ(host->evaluatedScripts[1], host->evaluatedScripts[0]);
    EXPECT_EQ(helperNames(*host), std::vector<std::string>{name});
}

TEST_F(PageHelper, AScriptErrorOnTheFirstLookupCountsAsAMissingHelper) {
    host->initJS(host.get());
    const std::string name = helperNames(*host).at(0);
    host->window()->failingReads.insert(name);
    EXPECT_THROW(host->getDelayedInvokeDelegate(), FB::invalid_member)
        << "the second lookup's error passes";
    EXPECT_EQ(host->evaluatedScripts.size(), 2u);

    host->window()->failingReads.clear();
    EXPECT_TRUE(host->getDelayedInvokeDelegate());
}

TEST_F(PageHelper, TheHelpersAnswerComesBackAsAnIntAndItsFailuresPass) {
    host->initJS(host.get());
    const auto helper = boost::make_shared<FakePageObject>(host);
    host->window()->properties[helperNames(*host).at(0)] = variant(FB::JSObjectPtr(helper));
    const auto invoke = [&] { return host->delayedInvoke(0, func, FB::VariantList(), ""); };

    helper->methods[""] = [](const FB::VariantList&) { return variant(12.0); };
    EXPECT_EQ(invoke(), 12);
    helper->methods[""] = [](const FB::VariantList&) { return variant("34"); };
    EXPECT_EQ(invoke(), 34);
    helper->methods[""] = [](const FB::VariantList&) { return variant("soon"); };
    EXPECT_THROW(invoke(), FB::bad_variant_cast);
    helper->methods[""] = [](const FB::VariantList&) -> variant {
        throw FB::invalid_member("setTimeout");
    };
    EXPECT_THROW(invoke(), FB::invalid_member);
}

class PageLogging : public PageHelper {
protected:
    PageLogging() {
        console->methods["log"] = [this](const FB::VariantList& logArgs) {
            logged.push_back(logArgs);
            return variant();
        };
        host->window()->properties["console"] = variant(FB::JSObjectPtr(console));
    }

    FakePageObjectPtr console = boost::make_shared<FakePageObject>(host);
    std::vector<FB::VariantList> logged;
};

TEST_F(PageLogging, AMessageReachesTheConsoleOnceFromTheMainThread) {
    LogCapture capture;
    host->htmlLog("hello page");
    EXPECT_EQ(capture.messages("BrowserHost"),
              std::vector<std::string>{"Logging to HTML: hello page"});
    EXPECT_TRUE(logged.empty());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(host->pumpMainThread(), 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Logging: hello page\n");
    ASSERT_EQ(logged.size(), 1u);
    ASSERT_EQ(logged[0].size(), 1u);
    EXPECT_EQ(logged[0][0].cast<std::string>(), "hello page");
}

TEST_F(PageLogging, DisabledOrShutDownLoggingSchedulesNothing) {
    host->setEnableHtmlLog(false);
    host->htmlLog("quiet");
    EXPECT_EQ(host->pendingCalls(), 0u);
    host->setEnableHtmlLog(true);
    host->shutdown();
    host->htmlLog("too late");
    EXPECT_EQ(host->pendingCalls(), 0u);
    EXPECT_TRUE(logged.empty());
}

TEST_F(PageLogging, AMessageWaitingAtShutdownIsWrittenDuringIt) {
    host->htmlLog("last words");
    host->shutdown();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0][0].cast<std::string>(), "last words");
}

TEST_F(PageLogging, APageWithoutAConsoleOrWindowGetsNothing) {
    host->window()->properties.erase("console");
    host->htmlLog("nowhere");
    ::testing::internal::CaptureStdout();
    host->pumpMainThread();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    host->hasWindow = false;
    host->htmlLog("nowhere");
    EXPECT_EQ(host->pumpMainThread(), 1u);
    EXPECT_TRUE(logged.empty());
}

TEST_F(PageLogging, AFailingConsoleIsContained) {
    console->methods["log"] = [](const FB::VariantList&) -> variant {
        throw FB::script_error("console closed");
    };
    host->htmlLog("lost");
    LogCapture capture;
    ::testing::internal::CaptureStdout();
    EXPECT_NO_THROW(host->pumpMainThread());
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(capture.messages("BrowserHost"),
              std::vector<std::string>{"Logging to browser console failed"});
    host->htmlLog("again");
    EXPECT_EQ(host->pendingCalls(), 1u) << "logging goes on";
}

} // namespace
