// The product's factory and the plug-in's metadata.
#include "Factory.h"
#include "DigitalSignatureUtil.h"
#include "PluginInfo.h"
#include "Velmora.h"

#include <gtest/gtest.h>

namespace {

TEST(PluginFactory, OneFactoryServesTheProcess) {
    const FB::FactoryBasePtr first = getFactoryInstance();
    const FB::FactoryBasePtr second = getFactoryInstance();
    EXPECT_EQ(first.get(), second.get());
    EXPECT_NE(dynamic_cast<PluginFactory*>(first.get()), nullptr);
}

TEST(PluginFactory, MakesANewVelmoraForEveryMimeType) {
    const FB::FactoryBasePtr factory = getFactoryInstance();
    for (const char* mimetype : {"application/x-velmora", "text/html", ""}) {
        SCOPED_TRACE(mimetype);
        const boost::shared_ptr<FB::PluginCore> first = factory->createPlugin(mimetype);
        const boost::shared_ptr<FB::PluginCore> second = factory->createPlugin(mimetype);
        EXPECT_NE(dynamic_cast<Velmora*>(first.get()), nullptr);
        EXPECT_NE(dynamic_cast<Velmora*>(second.get()), nullptr);
        EXPECT_NE(first, second);
    }
}

TEST(PluginMetadata, NameDescriptionAndInterface) {
    EXPECT_EQ(FB::getPluginName(""), "Velmora_x86_64");
    EXPECT_EQ(FB::getPluginName("text/html"), "Velmora_x86_64");
    EXPECT_EQ(FB::getPluginDescription("application/x-velmora"),
              "Dastrel plugin para firma digital");
    EXPECT_EQ(FB::getPluginDescription(""), "");
    EXPECT_EQ(FB::getPluginDescription("text/html"), "");
    // Asking about other types leaves the plug-in's own entry as it was.
    EXPECT_EQ(FB::getPluginDescription("application/x-velmora"),
              "Dastrel plugin para firma digital");
    EXPECT_EQ(FB::getPluginMimeType(), "application/x-velmora");
    EXPECT_FALSE(FB::pluginGuiEnabled());

    const FB::FactoryBasePtr factory = getFactoryInstance();
    EXPECT_EQ(factory->getPluginName(), "Velmora_x86_64");
    EXPECT_EQ(factory->getPluginDescription("application/x-velmora"),
              "Dastrel plugin para firma digital");
}

// The module's end takes the PINs with it: nothing can use them afterwards,
// and the memory holding them would otherwise be freed with them in it.
TEST(PluginFactory, TheModuleEndEmptiesThePinStore) {
    gPines.clear();
    gPines["Certificado VADOD"] = PinInfoStruct("1234", false, 0);
    gPines["Otro"] = PinInfoStruct("", true, 2);
    const FB::FactoryBasePtr factory = getFactoryInstance();

    factory->globalPluginInitialize();
    EXPECT_EQ(gPines.size(), 2u);

    factory->globalPluginDeinitialize();
    EXPECT_TRUE(gPines.empty());
}

} // namespace
