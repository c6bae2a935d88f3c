// Event-model negotiation for each drawing model, and the windows and
// translators the factory makes for the agreed models. The negotiation as
// the plug-in object runs it is tested with the plug-in object.

#include "MacTestSupport.h"
#include "PluginEventMacCocoa.h"
#include "PluginWindowMacCG.h"

#include <memory>
#include <stdexcept>

namespace {

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
