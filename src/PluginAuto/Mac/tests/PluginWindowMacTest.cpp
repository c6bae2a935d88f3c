// The macOS window: geometry and clip events, redraw requests from any
// thread, and auto-invalidation on the run loop's clock.

#include "PluginWindowMac.h"
#include "LogCapture.h"
#include "MacTestSupport.h"

#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

using mactest::EventLog;
using mactest::geometry;

namespace {

// The window without a drawing model of its own.
class PlainWindow : public FB::PluginWindowMac {
public:
    NPDrawingModel getDrawingModel() const override { return FB::NoDrawingModel; }
    void* getDrawingPrimitive() const override { return nullptr; }
    void* getWindowRef() const override { return nullptr; }
};

std::vector<std::string> rects(const testbrowser::Records& records) {
    std::vector<std::string> found;
    for (const testbrowser::InvalidatedRect& r : records.invalidatedRects) {
        found.push_back(std::to_string(r.rect.top) + " " + std::to_string(r.rect.left) + " " +
                        std::to_string(r.rect.bottom) + " " + std::to_string(r.rect.right));
    }
    return found;
}

TEST(PluginWindowMacGeometry, EachChangeSendsItsOwnEvent) {
    const auto window = boost::make_shared<PlainWindow>();
    const auto log = boost::make_shared<EventLog>();
    window->AttachObserver(log);
    NPWindow first = geometry(10, 20, 300, 200, NPRect{1, 2, 3, 4});
    EXPECT_EQ(window->SetWindow(&first), NPERR_NO_ERROR);
    EXPECT_EQ(log->seen, (std::vector<std::string>{"resized", "clip-changed"}));

    log->seen.clear();
    window->SetWindow(&first);
    EXPECT_TRUE(log->seen.empty()) << "the same values again";

    NPWindow moved = geometry(11, 20, 300, 200, NPRect{1, 2, 3, 4});
    window->SetWindow(&moved);
    EXPECT_EQ(log->seen, std::vector<std::string>{"resized"});

    log->seen.clear();
    NPWindow clipped = geometry(11, 20, 300, 200, NPRect{5, 6, 7, 8});
    window->SetWindow(&clipped);
    EXPECT_EQ(log->seen, std::vector<std::string>{"clip-changed"});

    log->seen.clear();
    EXPECT_EQ(window->SetWindow(nullptr), NPERR_NO_ERROR);
    EXPECT_TRUE(log->seen.empty());

    const FB::Rect position = window->getWindowPosition();
    EXPECT_EQ((std::vector<int>{position.top, position.left, position.bottom, position.right}),
              (std::vector<int>{20, 11, 220, 311}));
    const FB::Rect clip = window->getWindowClipping();
    EXPECT_EQ((std::vector<int>{clip.top, clip.left, clip.bottom, clip.right}),
              (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(window->getWindowWidth(), 300u);
    EXPECT_EQ(window->getWindowHeight(), 200u);
    int untouched = 7;
    EXPECT_EQ(window->GetValue(NPPVpluginCoreAnimationLayer, &untouched), NPERR_NO_ERROR);
    EXPECT_EQ(untouched, 7);
}

class PluginWindowMacRedraw : public mactest::MacFixture {
protected:
    void SetUp() override {
        window->setNpHost(host);
        NPWindow size = geometry(10, 20, 300, 200);
        window->SetWindow(&size);
    }

    boost::shared_ptr<PlainWindow> window = boost::make_shared<PlainWindow>();
    macos::RunLoop& loop = macos::RunLoop::main();
};

TEST_F(PluginWindowMacRedraw, TheWholeWindowIsInvalidated) {
    LogCapture capture;
    window->InvalidateWindow();
    EXPECT_EQ(rects(browser.records()), std::vector<std::string>{"0 0 200 300"});
    EXPECT_EQ(capture.messages("PluginCore"), std::vector<std::string>{"InvalidateWindow"});
}

TEST_F(PluginWindowMacRedraw, AnotherThreadPostsTheRequestToTheMainThread) {
    std::thread worker([this] { window->InvalidateWindow(); });
    worker.join();
    EXPECT_TRUE(browser.records().invalidatedRects.empty());
    browser.runUntilIdle(std::chrono::seconds(1));
    EXPECT_EQ(rects(browser.records()), std::vector<std::string>{"0 0 200 300"});
}

TEST_F(PluginWindowMacRedraw, AnotherThreadMayAskWhileTheBrowserResizes) {
    std::atomic<bool> done(false);
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            window->InvalidateWindow();
        }
        done = true;
        macos::RunLoop::main().post([] {});
    });
    for (std::uint32_t width = 1; !done; ++width) {
        NPWindow size = geometry(10, 20, width % 500, 200);
        window->SetWindow(&size);
        browser.runPending();
    }
    worker.join();
    browser.runUntilIdle(std::chrono::seconds(1));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 200u);
}

TEST_F(PluginWindowMacRedraw, ARequestPostedBeforeShutdownIsDropped) {
    std::thread worker([this] { window->InvalidateWindow(); });
    worker.join();
    host->shutdown();
    browser.runUntilIdle(std::chrono::seconds(1));
    EXPECT_TRUE(browser.records().invalidatedRects.empty());
}

TEST_F(PluginWindowMacRedraw, AWindowWithoutItsHostAsksNothing) {
    PlainWindow unwired;
    unwired.InvalidateWindow();
    EXPECT_TRUE(browser.records().invalidatedRects.empty());
}

TEST_F(PluginWindowMacRedraw, AutoInvalidationRepeatsOnTheClock) {
    LogCapture capture;
    window->StartAutoInvalidate(0.5);
    EXPECT_EQ(capture.messages("PluginCore"),
              (std::vector<std::string>{"AutoInvalidate STOPPED", "AutoInvalidate STARTED 2fps"}));
    browser.runFor(std::chrono::milliseconds(2100));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 4u);

    window->StopAutoInvalidate();
    browser.runFor(std::chrono::seconds(2));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 4u);
    EXPECT_EQ(loop.scheduledTimers(), 0u);
}

TEST_F(PluginWindowMacRedraw, StartingAgainKeepsOneTimer) {
    window->StartAutoInvalidate(0.5);
    LogCapture capture;
    window->StartAutoInvalidate(0.25);
    EXPECT_EQ(capture.messages("PluginCore"),
              (std::vector<std::string>{"AutoInvalidate STOPPED", "AutoInvalidate STARTED 4fps"}));
    EXPECT_EQ(loop.scheduledTimers(), 1u);
    browser.runFor(std::chrono::milliseconds(1010));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 4u);
}

TEST_F(PluginWindowMacRedraw, StoppingWithoutATimerOnlyLogs) {
    LogCapture capture;
    window->StopAutoInvalidate();
    EXPECT_EQ(capture.messages("PluginCore"), std::vector<std::string>{"AutoInvalidate STOPPED"});
    EXPECT_EQ(loop.scheduledTimers(), 0u);
}

TEST_F(PluginWindowMacRedraw, AnIntervalThatIsNotPositiveIsRefused) {
    window->StartAutoInvalidate(1);
    for (double seconds : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()}) {
        EXPECT_THROW(window->StartAutoInvalidate(seconds), std::invalid_argument) << seconds;
    }
    EXPECT_EQ(loop.scheduledTimers(), 1u) << "the running timer is left alone";
    browser.runFor(std::chrono::milliseconds(1010));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 1u);
}

// A start and a stop asked for on other threads both happen on the main
// thread: the timer ticks on the main loop and stops, nothing is left on a
// worker's loop, and no thread invalidates a timer that is not its own.
TEST_F(PluginWindowMacRedraw, AutoInvalidationAskedForOnAnotherThreadRunsOnTheMainLoop) {
    const size_t misplaced = macos::timerInvalidationsFromOtherThreads();
    size_t onWorkerLoop = 1;
    std::thread([&] {
        window->StartAutoInvalidate(0.5);
        onWorkerLoop = macos::RunLoop::current()->scheduledTimers();
    }).join();
    EXPECT_EQ(onWorkerLoop, 0u);
    browser.runFor(std::chrono::milliseconds(2100));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 4u);

    std::thread([this] { window->StopAutoInvalidate(); }).join();
    browser.runFor(std::chrono::seconds(2));
    EXPECT_EQ(browser.records().invalidatedRects.size(), 4u);
    EXPECT_EQ(loop.scheduledTimers(), 0u);
    EXPECT_EQ(macos::timerInvalidationsFromOtherThreads(), misplaced);
}

// Starts and stops from a worker while the main thread starts, stops and
// runs the loop itself: every timer is made and invalidated on the main thread.
TEST_F(PluginWindowMacRedraw, StartsAndStopsFromAnotherThreadMeetTheMainThreadsOwn) {
    const size_t misplaced = macos::timerInvalidationsFromOtherThreads();
    std::atomic<bool> done(false);
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            window->StartAutoInvalidate(0.01);
            window->StopAutoInvalidate();
        }
        done = true;
    });
    for (int round = 0; !done && round < 100000; ++round) {
        window->StartAutoInvalidate(0.02);
        browser.runFor(std::chrono::milliseconds(30));
        window->StopAutoInvalidate();
    }
    worker.join();
    EXPECT_TRUE(browser.runUntilIdle(std::chrono::seconds(1)));
    EXPECT_EQ(loop.scheduledTimers(), 0u);
    EXPECT_EQ(macos::timerInvalidationsFromOtherThreads(), misplaced);
}

// A start still on its way to the main thread when the window goes finds
// no window there: nothing runs, and the helper is released.
TEST_F(PluginWindowMacRedraw, AStartForAWindowThatWentDoesNothing) {
    const size_t objectsBefore = macos::liveObjects();
    const size_t misplaced = macos::timerInvalidationsFromOtherThreads();
    {
        const auto going = boost::make_shared<PlainWindow>();
        going->setNpHost(host);
        std::thread([going] { going->StartAutoInvalidate(0.1); }).join();
    }
    browser.runFor(std::chrono::seconds(1));
    EXPECT_EQ(loop.scheduledTimers(), 0u);
    EXPECT_TRUE(browser.records().invalidatedRects.empty());
    macos::drainMainThreadPool();
    EXPECT_EQ(macos::liveObjects(), objectsBefore);
    EXPECT_EQ(macos::timerInvalidationsFromOtherThreads(), misplaced);
}

TEST_F(PluginWindowMacRedraw, TheWindowStopsItsTimerWhenItGoes) {
    const size_t objectsBefore = macos::liveObjects();
    {
        const auto running = boost::make_shared<PlainWindow>();
        running->setNpHost(host);
        running->StartAutoInvalidate(0.1);
        EXPECT_EQ(loop.scheduledTimers(), 1u);
    }
    macos::drainMainThreadPool();
    EXPECT_EQ(loop.scheduledTimers(), 0u);
    EXPECT_EQ(macos::liveObjects(), objectsBefore) << "timer and helper are gone";
    browser.runFor(std::chrono::seconds(1));
    EXPECT_TRUE(browser.records().invalidatedRects.empty());
}

} // namespace
