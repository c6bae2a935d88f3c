// The registry of modules, one per calling image, and the module's global
// state: the factory's start and end.

#include "NpapiPluginModule.h"
#include "NpapiTestSupport.h"

#include <gtest/gtest.h>

using FB::Npapi::NpapiPluginModule;
using npapitest::testFactory;

namespace {

int imageA, imageB;

class ModuleRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        initializations = testFactory()->initializations;
        deinitializations = testFactory()->deinitializations;
    }
    int started() const { return testFactory()->initializations - initializations; }
    int ended() const { return testFactory()->deinitializations - deinitializations; }

    int initializations = 0;
    int deinitializations = 0;
};

TEST_F(ModuleRegistry, OneImageGetsOneModuleAndTheFactoryStartsOnce) {
    NpapiPluginModule* first = NpapiPluginModule::GetModule(&imageA);
    EXPECT_EQ(NpapiPluginModule::GetModule(&imageA), first);
    EXPECT_EQ(started(), 1);
    NpapiPluginModule::ReleaseModule(&imageA);
    EXPECT_EQ(ended(), 1);
}

TEST_F(ModuleRegistry, TheFactoryEndsWithTheLastModule) {
    NpapiPluginModule* a = NpapiPluginModule::GetModule(&imageA);
    NpapiPluginModule* b = NpapiPluginModule::GetModule(&imageB);
    EXPECT_NE(a, b);
    EXPECT_EQ(started(), 1);
    NpapiPluginModule::ReleaseModule(&imageA);
    EXPECT_EQ(ended(), 0);
    NpapiPluginModule::ReleaseModule(&imageB);
    EXPECT_EQ(ended(), 1);
    NpapiPluginModule::GetModule(&imageA);
    EXPECT_EQ(started(), 2) << "a new start after the end";
    NpapiPluginModule::ReleaseModule(&imageA);
}

// Only the release of a module ends the factory; the end is not run twice.
TEST_F(ModuleRegistry, ReleasingAnImageWithoutModuleChangesNothing) {
    NpapiPluginModule::ReleaseModule(&imageB);
    EXPECT_EQ(ended(), 0);
    NpapiPluginModule::GetModule(&imageA);
    NpapiPluginModule::ReleaseModule(&imageA);
    NpapiPluginModule::ReleaseModule(&imageA);
    EXPECT_EQ(ended(), 1);
    EXPECT_EQ(started(), 1);
}

TEST_F(ModuleRegistry, NoHostMayOutliveTheLastModule) {
    NpapiPluginModule::GetModule(&imageA);
    NpapiPluginModule module;
    NPP_t instance{};
    auto host = boost::make_shared<FB::Npapi::NpapiBrowserHost>(&module, &instance);
    try {
        NpapiPluginModule::ReleaseModule(&imageA);
        FAIL() << "a host outlived the module";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "BrowserHost::getInstanceCount() == 0");
    }
    EXPECT_EQ(ended(), 1);
}

} // namespace
