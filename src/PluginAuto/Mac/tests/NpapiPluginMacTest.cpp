// The macOS plug-in object, made by NPP_New of the module's entry points
// linked into the test and called by the test browser as it calls a loaded
// module: model negotiation against the browser's answers, the window
// attached through the Core Animation layer question or the browser's
// window, events, the drawing-model label, browser timers and the path.

#include "LogCapture.h"
#include "MacTestSupport.h"
#include "PluginWindowMac.h"

#include <testbrowser/CocoaEvent.h>
#include <testbrowser/Page.h>

#include <MacStandIn/StandIn.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

using mactest::TestCore;
using testbrowser::CocoaEvent;

namespace {

const testbrowser::ModuleEntryPoints linkedIn{&NP_GetEntryPoints, &NP_Initialize, &NP_Shutdown};

// A browser showing a page with one plug-in instance "p" whose <param>s are
// given; when it goes, the module must have given everything back.
class PluginPage {
public:
    explicit PluginPage(const std::string& params,
                        testbrowser::BrowserOptions options = testbrowser::BrowserOptions())
        : browser(std::move(options)) {
        browser.loadModule(linkedIn);
        page = &browser.openPage("<html><body><object id='p' type='application/x-velmora' "
                                 "width='300' height='200'>" +
                                 params + "</object></body></html>");
        instance = page->instance("p");
    }
    ~PluginPage() {
        browser.closePage();
        EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR);
        EXPECT_TRUE(browser.clean()) << browser.leakReport();
        mactest::testFactory()->guiEnabled = false;
        mactest::testFactory()->cores.clear();
    }

    boost::shared_ptr<TestCore> core() const {
        const boost::shared_ptr<TestCore> alive = mactest::testFactory()->cores.back().lock();
        if (!alive) {
            throw std::logic_error("no plug-in core alive");
        }
        return alive;
    }
    NPError askForLayer() {
        void* layer = nullptr;
        return instance->getValue(NPPVpluginCoreAnimationLayer, &layer);
    }
    int16_t click() {
        CocoaEvent down = CocoaEvent::mouse(NPCocoaEventMouseDown, 5, 6);
        return instance->sendEvent(down.record());
    }
    FB::PluginWindowMac& window() const {
        return dynamic_cast<FB::PluginWindowMac&>(*core()->GetWindow());
    }

    testbrowser::Browser browser;
    testbrowser::Page* page = nullptr;
    testbrowser::PluginInstance* instance = nullptr;
};

std::string param(const std::string& name, const std::string& value) {
    return "<param name='" + name + "' value='" + value + "'>";
}

std::vector<std::string> negotiationLines(const LogCapture& capture) {
    std::vector<std::string> lines;
    for (const std::string& line : capture.messages("PluginCore")) {
        if (line.rfind("NPDrawingModel=", 0) == 0 || line.rfind("NPEventModel=", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

struct Answers {
    bool supportsCoreGraphics;
    bool acceptsCoreGraphics;
    bool supportsCocoa;
    bool acceptsCocoa;
};

testbrowser::BrowserOptions optionsFor(const Answers& answers) {
    testbrowser::BrowserOptions options;
    options.supports[NPNVsupportsCoreGraphicsBool] = answers.supportsCoreGraphics;
    options.supports[NPNVsupportsCocoaBool] = answers.supportsCocoa;
    options.drawingModels.clear();
    options.eventModels.clear();
    if (answers.acceptsCoreGraphics) {
        options.drawingModels.insert(NPDrawingModelCoreGraphics);
    }
    if (answers.acceptsCocoa) {
        options.eventModels.insert(NPEventModelCocoa);
    }
    return options;
}

// Each value the plug-in told the browser, with the browser's answer.
std::vector<std::string> told(const testbrowser::Records& records) {
    std::vector<std::string> found;
    for (const testbrowser::SetValueCall& call : records.setValues) {
        found.push_back(std::to_string(call.variable) + "=" + std::to_string(call.value) +
                        (call.result == NPERR_NO_ERROR ? " accepted" : " refused"));
    }
    return found;
}

struct Case {
    const char* label;
    std::string params;
    Answers answers;
    std::vector<std::string> told;
    std::vector<std::string> logged;
    bool window;     // the layer question finds a window
    bool translator; // a click reaches the core
};

const Answers willing = {true, true, true, true};
const std::string cgLine = "NPDrawingModel=NPDrawingModelCoreGraphics";
const std::string cocoaLine = "NPEventModel=NPEventModelCocoa";

TEST(NpapiPluginMac, NegotiatesWhatTheParametersAndTheBrowserAllow) {
    const std::string namedCG = param("drawingmodel", "NPDrawingModelCoreGraphics");
    const std::string none = "NPDrawingModel=NONE", noEvents = "NPEventModel=NONE";
    const std::string cgTold = "1000=1 accepted", cocoaTold = "1001=1 accepted";
    const Case cases[] = {
        {"no parameter, willing browser",
         "",
         willing,
         {cgTold, cocoaTold},
         {cgLine, cocoaLine},
         true,
         true},
        {"CoreGraphics named",
         namedCG,
         willing,
         {cgTold, cocoaTold},
         {cgLine, cocoaLine},
         true,
         true},
        {"OpenGL named",
         param("drawingmodel", "NPDrawingModelOpenGL"),
         willing,
         {},
         {none, noEvents},
         false,
         false},
        {"an empty name", param("drawingmodel", ""), willing, {}, {none, noEvents}, false, false},
        {"no CoreGraphics support",
         "",
         {false, true, true, true},
         {},
         {none, noEvents},
         false,
         false},
        {"CoreGraphics named without support",
         namedCG,
         {false, true, true, true},
         {},
         {noEvents},
         false,
         false},
        {"CoreGraphics refused",
         "",
         {true, false, true, true},
         {"1000=1 refused"},
         {none, noEvents},
         false,
         false},
        {"no Cocoa support",
         "",
         {true, true, false, true},
         {cgTold},
         {cgLine, noEvents},
         true,
         false},
        {"Cocoa refused",
         namedCG,
         {true, true, true, false},
         {cgTold, "1001=1 refused"},
         {cgLine, noEvents},
         true,
         false},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        PluginPage p(c.params, optionsFor(c.answers));
        EXPECT_EQ(p.instance->newResult(), NPERR_NO_ERROR) << c.label;
        EXPECT_EQ(told(p.browser.records()), c.told) << c.label;
        EXPECT_EQ(negotiationLines(capture), c.logged) << c.label;
        EXPECT_EQ(p.askForLayer(), c.window ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR) << c.label;
        EXPECT_EQ(p.core()->GetWindow() != nullptr, c.window) << c.label;
        EXPECT_EQ(p.click(), 0) << c.label;
        const std::vector<std::string>& seen = p.core()->seen;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "down left 5 6 state 0"),
                  c.translator ? 1 : 0)
            << c.label;
    }
}

// The product has no user interface of its own: the browser's windows never
// reach the plug-in object, and the window comes to the core when the
// browser asks for the Core Animation layer.
TEST(NpapiPluginMac, TheLayerQuestionAttachesTheWindow) {
    PluginPage p("");
    EXPECT_EQ(p.core()->GetWindow(), nullptr);
    EXPECT_EQ(p.click(), 0);
    EXPECT_TRUE(p.core()->seen.empty()) << "no observer before the window is attached";

    LogCapture capture;
    EXPECT_EQ(p.askForLayer(), NPERR_NO_ERROR);
    EXPECT_EQ(capture.messages("PluginCore"),
              (std::vector<std::string>{"Window Set", "GetValue(NPPVpluginCoreAnimationLayer)"}));
    EXPECT_EQ(p.core()->seen, std::vector<std::string>{"attached"});
    EXPECT_EQ(p.askForLayer(), NPERR_NO_ERROR);
    EXPECT_EQ(p.core()->seen, std::vector<std::string>{"attached"}) << "attached once";

    EXPECT_EQ(p.click(), 0);
    EXPECT_EQ(p.core()->seen,
              (std::vector<std::string>{"attached", "cocoa 2", "down left 5 6 state 0"}));
    testbrowser::WindowChange bigger;
    bigger.width = 400;
    EXPECT_EQ(p.instance->setWindow(bigger), NPERR_NO_ERROR);
    EXPECT_EQ(p.core()->seen.size(), 3u) << "the browser's window is not passed on";
}

TEST(NpapiPluginMac, WithAUserInterfaceTheBrowsersWindowReachesTheWindow) {
    mactest::testFactory()->guiEnabled = true;
    PluginPage p("");
    EXPECT_EQ(p.core()->seen, std::vector<std::string>{"attached"})
        << "the window took the first window before the core was attached";
    EXPECT_EQ(p.window().getWindowWidth(), 300u);
    EXPECT_EQ(p.window().getWindowHeight(), 200u);
    EXPECT_EQ(p.window().getDrawingPrimitive(), p.instance->context());

    testbrowser::WindowChange clipped;
    clipped.width = 300;
    clipped.height = 200;
    clipped.clip = NPRect{0, 0, 100, 100};
    EXPECT_EQ(p.instance->setWindow(clipped), NPERR_NO_ERROR);
    EXPECT_EQ(p.core()->seen.back(), "clip-changed");

    p.core()->seen.clear();
    EXPECT_EQ(p.instance->clearWindow(), NPERR_NO_ERROR);
    EXPECT_EQ(p.core()->seen, std::vector<std::string>{"detached"});
    EXPECT_EQ(p.core()->GetWindow(), nullptr);
    EXPECT_EQ(p.instance->setWindow(clipped), NPERR_NO_ERROR);
    EXPECT_EQ(p.click(), 0);
    EXPECT_EQ(p.core()->seen, std::vector<std::string>{"detached"}) << "the window is gone";
    LogCapture capture;
    EXPECT_EQ(p.askForLayer(), NPERR_GENERIC_ERROR);
    EXPECT_EQ(capture.messages("PluginCore"),
              std::vector<std::string>{"GetValue(NPPVpluginCoreAnimationLayer)"});
}

TEST(NpapiPluginMac, OtherQuestionsGoToTheBase) {
    PluginPage p("");
    const char* name = nullptr;
    EXPECT_EQ(p.instance->getValue(NPPVpluginNameString, &name), NPERR_NO_ERROR);
    EXPECT_STREQ(name, "macOS layer test plug-in");
    int untouched = 7;
    EXPECT_EQ(p.instance->getValue(NPPVpluginDrawingModel, &untouched), NPERR_GENERIC_ERROR);
    EXPECT_EQ(untouched, 7);
}

TEST(NpapiPluginMac, TheDrawingModelLabelFollowsItsParameter) {
    const std::pair<std::string, bool> cases[] = {{"", false},
                                                  {param("showdrawingmodel", "0"), false},
                                                  {param("showdrawingmodel", "1"), true},
                                                  {param("showdrawingmodel", "yes"), true},
                                                  {param("showdrawingmodel", ""), true}};
    for (const auto& [params, shown] : cases) {
        PluginPage p(params);
        p.askForLayer();
        CocoaEvent draw = CocoaEvent::draw(p.instance->context(), 0, 0, 300, 200);
        p.instance->sendEvent(draw.record());
        const std::vector<std::string> drawn = macos::recordedDrawing(p.instance->context());
        EXPECT_EQ(
            std::count(drawn.begin(), drawn.end(), "ShowTextAtPoint 0 19 CoreGraphics 0.0 fps #0"),
            shown ? 1 : 0)
            << params;
    }
}

TEST(NpapiPluginMac, BrowserTimersReachTheWindowsObservers) {
    PluginPage p("");
    p.askForLayer();
    const std::uint32_t timer = p.window().scheduleTimer(100, true);
    EXPECT_NE(timer, 0u);
    p.browser.runFor(std::chrono::milliseconds(250));
    const std::string tick = "timer " + std::to_string(timer);
    EXPECT_EQ(p.core()->seen, (std::vector<std::string>{"attached", tick, tick}));

    // A tick while the instance has no plug-in object does nothing.
    NPP npp = p.instance->npp();
    void* const holder = npp->pdata;
    npp->pdata = nullptr;
    p.browser.runFor(std::chrono::milliseconds(100));
    npp->pdata = holder;
    EXPECT_EQ(p.core()->seen.size(), 3u);

    p.window().unscheduleTimer(timer);
    p.browser.runFor(std::chrono::milliseconds(500));
    EXPECT_EQ(p.core()->seen.size(), 3u);
}

TEST(NpapiPluginMac, TheWindowAsksTheBrowserOfItsInstanceToRedraw) {
    mactest::testFactory()->guiEnabled = true;
    PluginPage p("");
    p.window().StartAutoInvalidate(0.5);
    p.browser.runFor(std::chrono::milliseconds(1100));
    const std::vector<testbrowser::InvalidatedRect>& rects = p.browser.records().invalidatedRects;
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0].instance, p.instance->npp());
    EXPECT_EQ(rects[0].rect.bottom, 200);
    EXPECT_EQ(rects[0].rect.right, 300);
}

// Linked into the test, the module's executable is the test program.
TEST(NpapiPluginMac, EveryInstanceKnowsThePlatformAndTheModulesPath) {
    PluginPage p("</object><object id='q' type='application/x-velmora'>");
    const std::vector<boost::weak_ptr<TestCore>>& cores = mactest::testFactory()->cores;
    ASSERT_EQ(cores.size(), 2u);
    const std::string path = cores[0].lock()->path();
    EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical("/proc/self/exe"));
    EXPECT_EQ(cores[1].lock()->path(), path);
    EXPECT_EQ(TestCore::platform(), "Mac NPAPI");
}

// The module recipe makes every module's plug-in objects macOS ones.
TEST(NpapiPluginMac, AModuleOfTheRecipeNegotiatesItsModels) {
    testbrowser::BrowserOptions options;
    options.mimeType = "application/x-velmora-test";
    testbrowser::Browser browser(options);
    browser.loadModule(TEST_MODULE);
    testbrowser::Page& page = browser.openPage(
        "<html><body><object id='p' type='application/x-velmora-test'></object></body></html>");
    testbrowser::PluginInstance* instance = page.instance("p");
    EXPECT_EQ(instance->drawingModel(), NPDrawingModelCoreGraphics);
    EXPECT_EQ(instance->eventModel(), NPEventModelCocoa);
    void* layer = nullptr;
    EXPECT_EQ(instance->getValue(NPPVpluginCoreAnimationLayer, &layer), NPERR_NO_ERROR);
    CocoaEvent down = CocoaEvent::mouse(NPCocoaEventMouseDown, 5, 6);
    EXPECT_EQ(instance->sendEvent(down.record()), 0);
    browser.closePage();
    EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR);
    EXPECT_TRUE(browser.clean()) << browser.leakReport();
}

} // namespace
