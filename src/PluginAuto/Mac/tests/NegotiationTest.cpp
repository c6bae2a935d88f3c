// Drawing-model and event-model negotiation with the test browser, and the
// windows and translators the factory makes for the agreed models.

#include "LogCapture.h"
#include "MacTestSupport.h"
#include "PluginEventMacCocoa.h"
#include "PluginWindowMacCG.h"

#include <boost/optional.hpp>
#include <memory>
#include <stdexcept>

namespace {

struct Browser {
    bool supportsCoreGraphics;
    bool acceptsCoreGraphics;
    bool supportsCocoa;
    bool acceptsCocoa;
};

const Browser willing = {true, true, true, true};

testbrowser::BrowserOptions optionsFor(const Browser& answers) {
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
    boost::optional<std::string> drawingModelParameter;
    Browser browser;
    int drawingModel;
    int eventModel;
    std::vector<std::string> logged;
    std::vector<std::string> told;
};

const std::string coreGraphics = "NPDrawingModelCoreGraphics";
const std::string cgLine = "NPDrawingModel=NPDrawingModelCoreGraphics";
const std::string cocoaLine = "NPEventModel=NPEventModelCocoa";

TEST(ModelNegotiation, ParametersAgainstBrowserAnswers) {
    const Case cases[] = {
        {"no parameter, willing browser",
         boost::none,
         willing,
         1,
         1,
         {cgLine, cocoaLine},
         {"1000=1 accepted", "1001=1 accepted"}},
        {"CoreGraphics named, willing browser",
         coreGraphics,
         willing,
         1,
         1,
         {cgLine, cocoaLine},
         {"1000=1 accepted", "1001=1 accepted"}},
        {"another model named",
         std::string("NPDrawingModelOpenGL"),
         willing,
         -1,
         -1,
         {"NPDrawingModel=NONE", "NPEventModel=NONE"},
         {}},
        {"an empty name",
         std::string(""),
         willing,
         -1,
         -1,
         {"NPDrawingModel=NONE", "NPEventModel=NONE"},
         {}},
        {"no CoreGraphics support",
         boost::none,
         {false, true, true, true},
         -1,
         -1,
         {"NPDrawingModel=NONE", "NPEventModel=NONE"},
         {}},
        {"CoreGraphics named without support",
         coreGraphics,
         {false, true, true, true},
         -1,
         -1,
         {"NPEventModel=NONE"},
         {}},
        {"CoreGraphics refused",
         boost::none,
         {true, false, true, true},
         -1,
         -1,
         {"NPDrawingModel=NONE", "NPEventModel=NONE"},
         {"1000=1 refused"}},
        {"no Cocoa support",
         boost::none,
         {true, true, false, true},
         1,
         -1,
         {cgLine, "NPEventModel=NONE"},
         {"1000=1 accepted"}},
        {"Cocoa refused",
         coreGraphics,
         {true, true, true, false},
         1,
         -1,
         {cgLine, "NPEventModel=NONE"},
         {"1000=1 accepted", "1001=1 refused"}},
    };
    for (const Case& c : cases) {
        mactest::MacPage page(optionsFor(c.browser));
        LogCapture capture;
        const NPDrawingModel drawing =
            c.drawingModelParameter
                ? FB::PluginWindowMac::initPluginWindowMac(page.host, *c.drawingModelParameter)
                : FB::PluginWindowMac::initPluginWindowMac(page.host);
        const NPEventModel event = FB::PluginEventMac::initPluginEventMac(page.host, drawing);
        EXPECT_EQ(drawing, c.drawingModel) << c.label;
        EXPECT_EQ(event, c.eventModel) << c.label;
        EXPECT_EQ(capture.messages("PluginCore"), c.logged) << c.label;
        EXPECT_EQ(told(page.browser.records()), c.told) << c.label;
    }
}

TEST(ModelNegotiation, CocoaEventsGoWithTheModelsThatAllowThem) {
    mactest::MacPage page;
    for (int drawing : {1, 3, 4}) {
        EXPECT_EQ(
            FB::PluginEventMac::initPluginEventMac(page.host, static_cast<NPDrawingModel>(drawing)),
            NPEventModelCocoa)
            << drawing;
    }
    for (int drawing : {-1, 0, 2, 5}) {
        EXPECT_EQ(
            FB::PluginEventMac::initPluginEventMac(page.host, static_cast<NPDrawingModel>(drawing)),
            FB::NoEventModel)
            << drawing;
    }
}

TEST(PlatformFactory, MakesTheWindowAndTranslatorOfTheAgreedModels) {
    const std::unique_ptr<FB::PluginWindowMac> window(
        FB::PluginWindowMac::createPluginWindowMac(NPDrawingModelCoreGraphics));
    EXPECT_NE(dynamic_cast<FB::PluginWindowMacCG*>(window.get()), nullptr);
    const std::unique_ptr<FB::PluginEventMac> translator(
        FB::PluginEventMac::createPluginEventMac(NPEventModelCocoa));
    EXPECT_NE(dynamic_cast<FB::PluginEventMacCocoa*>(translator.get()), nullptr);

    for (int drawing : {-1, 2, 3, 4}) {
        EXPECT_EQ(FB::PluginWindowMac::createPluginWindowMac(static_cast<NPDrawingModel>(drawing)),
                  nullptr)
            << drawing;
    }
    for (int event : {-1, 0, 2}) {
        EXPECT_EQ(FB::PluginEventMac::createPluginEventMac(static_cast<NPEventModel>(event)),
                  nullptr)
            << event;
    }
    EXPECT_EQ(FB::createPluginWindowMacICA(), nullptr);
    EXPECT_EQ(FB::createPluginWindowMacCA(), nullptr);
    try {
        FB::createPluginEventMacCarbon();
        ADD_FAILURE() << "the Carbon translator was made";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "false");
    }
}

} // namespace
