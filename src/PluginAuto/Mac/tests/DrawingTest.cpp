// The CoreGraphics window: its drawing context, and the frame-rate label
// drawn into the recording context on the run loop's clock.

#include "MacTestSupport.h"
#include "PluginEventMacCocoa.h"
#include "PluginEvents/MacEventCocoa.h"
#include "PluginWindowMacCG.h"

#include <testbrowser/CocoaEvent.h>

#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>

#include <boost/make_shared.hpp>
#include <chrono>

using mactest::EventLog;
using testbrowser::CocoaEvent;

namespace {

int g_browserWindow;

class CoreGraphicsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        loop.bindToCurrentThread();
        loop.reset(true);
        window->AttachObserver(log);
        translator.setPluginWindow(window);
    }
    void TearDown() override {
        CGContextRelease(first);
        CGContextRelease(second);
        loop.reset(false);
    }

    NPError setWindow(CGContextRef context, std::uint32_t width, NPRect clip = {0, 0, 0, 0},
                      bool withRecord = true) {
        record = NP_CGContext{context, &g_browserWindow};
        NPWindow npWindow = mactest::geometry(0, 0, width, 100, clip);
        npWindow.window = withRecord ? &record : nullptr;
        return window->SetWindow(&npWindow);
    }

    // Draw requests as the browser sends them, until the observers have
    // seen count of them, each after the given time.
    void drawFrames(int count, std::chrono::milliseconds apart) {
        for (int i = 0; i < count; ++i) {
            loop.runFor(apart);
            CocoaEvent draw = CocoaEvent::draw(first, 0, 0, 10, 10);
            translator.HandleEvent(&draw.record());
        }
    }

    std::string lastLabel() const {
        std::string label;
        for (const std::string& line : macos::recordedDrawing(first)) {
            if (line.rfind("ShowTextAtPoint", 0) == 0) {
                label = line;
            }
        }
        return label;
    }

    macos::RunLoop& loop = macos::RunLoop::main();
    CGContextRef first = macos::createRecordingContext();
    CGContextRef second = macos::createRecordingContext();
    NP_CGContext record{};
    boost::shared_ptr<FB::PluginWindowMacCG> window = boost::make_shared<FB::PluginWindowMacCG>();
    boost::shared_ptr<EventLog> log = boost::make_shared<EventLog>();
    FB::PluginEventMacCocoa translator;
};

TEST_F(CoreGraphicsWindow, ANewContextIsReportedWithWhateverChangedWithIt) {
    EXPECT_EQ(window->getDrawingModel(), NPDrawingModelCoreGraphics);
    EXPECT_EQ(window->getDrawingPrimitive(), nullptr);
    EXPECT_EQ(setWindow(first, 300, NPRect{0, 0, 100, 300}), NPERR_NO_ERROR);
    EXPECT_EQ(log->seen, (std::vector<std::string>{"changed", "resized", "clip-changed"}));
    EXPECT_EQ(window->getDrawingPrimitive(), first);
    EXPECT_EQ(window->getWindowRef(), &g_browserWindow);
    EXPECT_EQ(window->getWindowWidth(), 300u);

    log->seen.clear();
    setWindow(second, 300, NPRect{0, 0, 100, 300});
    EXPECT_EQ(log->seen, std::vector<std::string>{"changed"}) << "only the context changed";
    EXPECT_EQ(window->getDrawingPrimitive(), second);

    log->seen.clear();
    setWindow(second, 400, NPRect{0, 0, 100, 300});
    EXPECT_EQ(log->seen, std::vector<std::string>{"resized"}) << "the same context";
}

TEST_F(CoreGraphicsWindow, NoContextRecordKeepsTheContext) {
    setWindow(first, 300);
    log->seen.clear();
    EXPECT_EQ(setWindow(nullptr, 500, NPRect{0, 0, 0, 0}, false), NPERR_NO_ERROR);
    EXPECT_EQ(log->seen, std::vector<std::string>{"resized"});
    EXPECT_EQ(window->getDrawingPrimitive(), first);
    log->seen.clear();
    EXPECT_EQ(window->SetWindow(nullptr), NPERR_NO_ERROR);
    EXPECT_TRUE(log->seen.empty());
}

TEST_F(CoreGraphicsWindow, TheLabelIsDrawnOnlyWhenAskedFor) {
    log->handles = [](FB::PluginEvent*) { return true; };
    drawFrames(1, std::chrono::milliseconds(0));
    EXPECT_TRUE(macos::recordedDrawing(first).empty());

    window->setShowDrawingModel(true);
    drawFrames(1, std::chrono::milliseconds(0));
    EXPECT_EQ(macos::recordedDrawing(first),
              (std::vector<std::string>{"SaveGState", "SetFillColor 0 0 0 1", "FillRect 0 0 400 24",
                                        "SetStrokeColor 0 1 0 1", "SetFillColor 0 1 0 1",
                                        "SetTextMatrix 1 0 0 -1 0 0", "SelectFont Helvetica 24 1",
                                        "ShowTextAtPoint 0 19 CoreGraphics 0.0 fps #0",
                                        "RestoreGState"}));
    EXPECT_EQ(macos::savedStateDepth(first), 0u);
}

TEST_F(CoreGraphicsWindow, EachDrawRequestDrawsOneLabelAfterTheObservers) {
    window->setShowDrawingModel(true);
    std::vector<std::string> order;
    log->handles = [&](FB::PluginEvent* evt) {
        order.push_back(macos::recordedDrawing(first).empty() ? "observer first" : "label first");
        return evt->validType<FB::MacEventCocoa>() && order.size() == 1;
    };
    drawFrames(1, std::chrono::milliseconds(0));
    EXPECT_EQ(log->seen, std::vector<std::string>{"cocoa 1"}) << "the raw event was handled";
    drawFrames(1, std::chrono::milliseconds(0));
    EXPECT_EQ(log->seen, (std::vector<std::string>{"cocoa 1", "cocoa 1",
                                                   "cg-draw bounds 0 0 0 0 clip 0 0 10 10"}));
    EXPECT_EQ(order, (std::vector<std::string>{"observer first", "label first", "label first"}));
    EXPECT_EQ(lastLabel(), "ShowTextAtPoint 0 19 CoreGraphics 0.0 fps #1");
}

TEST_F(CoreGraphicsWindow, OtherEventsDrawNothing) {
    window->setShowDrawingModel(true);
    log->handles = [](FB::PluginEvent*) { return true; };
    CocoaEvent click = CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 1);
    EXPECT_EQ(translator.HandleEvent(&click.record()), 1);
    setWindow(first, 10);
    EXPECT_TRUE(macos::recordedDrawing(first).empty());
}

TEST_F(CoreGraphicsWindow, ADrawRequestWithoutAContextDrawsNothing) {
    window->setShowDrawingModel(true);
    CocoaEvent draw = CocoaEvent::draw(nullptr, 0, 0, 10, 10);
    EXPECT_EQ(translator.HandleEvent(&draw.record()), 0);
    log->handles = [](FB::PluginEvent*) { return true; };
    EXPECT_EQ(translator.HandleEvent(&draw.record()), 1);
    drawFrames(1, std::chrono::milliseconds(0));
    EXPECT_EQ(lastLabel(), "ShowTextAtPoint 0 19 CoreGraphics 0.0 fps #0");
}

TEST_F(CoreGraphicsWindow, TheRateIsTakenOverTheLastHundredLabels) {
    window->setShowDrawingModel(true);
    drawFrames(1, std::chrono::milliseconds(0));
    drawFrames(1, std::chrono::milliseconds(500));
    EXPECT_EQ(lastLabel(), "ShowTextAtPoint 0 19 CoreGraphics 4.0 fps #1");
    drawFrames(48, std::chrono::seconds(1));
    // Then a pause of one second, and a hundred labels 10 ms apart: the
    // rate counts only these, 100 labels in 0.99 s.
    drawFrames(1, std::chrono::seconds(1));
    drawFrames(99, std::chrono::milliseconds(10));
    EXPECT_EQ(lastLabel(), "ShowTextAtPoint 0 19 CoreGraphics 101.0 fps #149");
}

} // namespace
