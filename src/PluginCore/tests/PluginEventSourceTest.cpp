#include "PluginEventSource.h"
#include "BrowserStream.h"
#include "PluginEvents/MouseEvents.h"
#include "TestSinks.h"

#include <boost/make_shared.hpp>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <typeinfo>

namespace {

class PluginEventSourceTest : public ::testing::Test {
protected:
    boost::shared_ptr<RecordingSink> sink(const std::string& name) {
        return boost::make_shared<RecordingSink>(name, &calls);
    }

    boost::shared_ptr<FB::PluginEventSource> source = boost::make_shared<TestWindow>();
    std::vector<std::string> calls;
    FB::MouseMoveEvent move{1, 2, 0};
};

TEST_F(PluginEventSourceTest, ASourceWithoutObserversHandlesNothing) {
    EXPECT_FALSE(source->SendEvent(&move));
}

TEST_F(PluginEventSourceTest, ObserversAreOfferedTheEventInAttachOrderUntilOneHandlesIt) {
    const auto first = sink("first"), second = sink("second"), third = sink("third");
    source->AttachObserver(first);
    source->AttachObserver(second);
    source->AttachObserver(third);
    second->handles = true;
    calls.clear();

    EXPECT_TRUE(source->SendEvent(&move));
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(first->offers.back().source, source.get());

    second->handles = false;
    calls.clear();
    EXPECT_FALSE(source->SendEvent(&move));
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(PluginEventSourceTest, AttachingAndDetachingAreAnnouncedToTheSink) {
    const auto observer = sink("observer");
    source->AttachObserver(observer.get());
    source->DetachObserver(observer.get());
    EXPECT_EQ(observer->events(), (std::vector<std::string>{"attached", "detached"}));
    EXPECT_FALSE(source->SendEvent(&move));
    EXPECT_EQ(observer->offers.size(), 2u);
}

TEST_F(PluginEventSourceTest, AnExpiredSinkIsSkippedAndADetachRemovesItSilently) {
    const auto kept = sink("kept");
    auto gone = sink("gone");
    source->AttachObserver(gone);
    source->AttachObserver(kept);
    gone.reset();
    calls.clear();

    EXPECT_FALSE(source->SendEvent(&move));
    EXPECT_EQ(calls, std::vector<std::string>{"kept"});

    const auto stranger = sink("stranger");
    source->DetachObserver(stranger);
    EXPECT_TRUE(stranger->offers.empty()) << "detaching a sink that is not attached sends nothing";
    calls.clear();
    source->SendEvent(&move);
    EXPECT_EQ(calls, std::vector<std::string>{"kept"});
}

TEST_F(PluginEventSourceTest, ASinkAttachedTwiceIsOfferedEveryEventTwiceAndDetachedAtOnce) {
    const auto twice = sink("twice");
    source->AttachObserver(twice);
    source->AttachObserver(twice);
    source->SendEvent(&move);
    source->DetachObserver(twice);
    source->SendEvent(&move);
    EXPECT_EQ(twice->events(), (std::vector<std::string>{"attached", "attached", "other", "other",
                                                         "detached", "detached"}));
}

TEST_F(PluginEventSourceTest, AHandlerThatDetachesItselfDoesNotBreakTheDispatch) {
    const auto leaving = sink("leaving"), after = sink("after"), late = sink("late");
    source->AttachObserver(leaving);
    source->AttachObserver(after);
    leaving->onEvent = [&](FB::PluginEvent* evt, FB::PluginEventSource* from) {
        if (eventName(evt) == "other") {
            from->DetachObserver(leaving);
            from->AttachObserver(late);
        }
    };
    calls.clear();

    source->SendEvent(&move);
    EXPECT_EQ(calls, (std::vector<std::string>{"leaving", "leaving", "late", "after"}))
        << "the detach and attach notices, then the rest of the walk";
    EXPECT_EQ(late->events(), std::vector<std::string>{"attached"});
}

TEST_F(PluginEventSourceTest, ASourceOutlivesItsDispatchWhenASinkDropsTheLastReference) {
    const auto dropping = sink("dropping"), after = sink("after");
    source->AttachObserver(dropping);
    source->AttachObserver(after);
    const boost::weak_ptr<FB::PluginEventSource> watched = source;
    dropping->onEvent = [&](FB::PluginEvent* evt, FB::PluginEventSource*) {
        if (eventName(evt) == "other") {
            source.reset();
            EXPECT_FALSE(watched.expired()) << "kept for the rest of the dispatch";
        }
    };
    calls.clear();

    FB::PluginEventSource* const raw = watched.lock().get();
    EXPECT_FALSE(raw->SendEvent(&move));
    EXPECT_EQ(calls, (std::vector<std::string>{"dropping", "after"}));
    EXPECT_TRUE(watched.expired());
}

TEST_F(PluginEventSourceTest, ASinksFailureEndsTheDispatchAndLeavesTheSourceUsable) {
    const auto failing = sink("failing"), after = sink("after");
    source->AttachObserver(failing);
    source->AttachObserver(after);
    failing->onEvent = [](FB::PluginEvent* evt, FB::PluginEventSource*) {
        if (eventName(evt) == "other") {
            throw std::runtime_error("sink failed");
        }
    };
    calls.clear();
    EXPECT_THROW(source->SendEvent(&move), std::runtime_error);
    EXPECT_EQ(calls, std::vector<std::string>{"failing"});

    failing->onEvent = nullptr;
    calls.clear();
    EXPECT_FALSE(source->SendEvent(&move));
    EXPECT_EQ(calls, (std::vector<std::string>{"failing", "after"}));
}

// Sinks are called with no lock held, so a handler may wait for another
// thread that uses the same source.
TEST_F(PluginEventSourceTest, AnotherThreadMayAttachWhileAHandlerRuns) {
    const auto waiting = sink("waiting"), newcomer = sink("newcomer");
    source->AttachObserver(waiting);
    bool attachedMeanwhile = false;
    waiting->onEvent = [&](FB::PluginEvent* evt, FB::PluginEventSource* from) {
        if (eventName(evt) != "other") {
            return;
        }
        std::future<void> attach =
            std::async(std::launch::async, [&] { from->AttachObserver(newcomer); });
        attachedMeanwhile = attach.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    };
    source->SendEvent(&move);
    EXPECT_TRUE(attachedMeanwhile);
    EXPECT_EQ(newcomer->events(), std::vector<std::string>{"attached"});
}

TEST_F(PluginEventSourceTest, TheRawPointerFormsNeedASinkOwnedByASharedPointer) {
    RecordingSink unowned;
    EXPECT_THROW(source->AttachObserver(&unowned), boost::bad_weak_ptr);
    EXPECT_THROW(source->DetachObserver(&unowned), boost::bad_weak_ptr);
    EXPECT_TRUE(unowned.offers.empty());
    EXPECT_FALSE(source->SendEvent(&move));
}

TEST(PluginEventTypes, EventsAndSourcesAnswerTypeTestsAndCheckedCasts) {
    FB::MouseUpEvent up(FB::MouseButtonEvent::MouseButton_Left, 1, 2, 0);
    FB::MouseDownEvent down(FB::MouseButtonEvent::MouseButton_Right, 3, 4, 1);
    FB::PluginEvent* const upEvent = &up;
    FB::PluginEvent* const downEvent = &down;
    EXPECT_TRUE(downEvent->validType<FB::MouseEvent>());
    EXPECT_TRUE(downEvent->validType<FB::MouseButtonEvent>());
    EXPECT_FALSE(upEvent->validType<FB::MouseDownEvent>());
    EXPECT_THROW(upEvent->get<FB::MouseDownEvent>(), std::bad_cast);
    EXPECT_EQ(downEvent->get<FB::MouseDownEvent>(), &down);

    TestWindow window;
    FB::PluginEventSource* const source = &window;
    EXPECT_TRUE(source->validType<FB::PluginWindow>());
    EXPECT_EQ(source->get_as<FB::PluginWindow>(), &window);
    EXPECT_FALSE(source->validType<FB::BrowserStream>());
    EXPECT_THROW(source->get_as<FB::BrowserStream>(), std::bad_cast);
}

} // namespace
