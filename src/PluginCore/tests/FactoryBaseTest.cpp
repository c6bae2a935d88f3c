#include "FactoryBase.h"
#include "BrowserPlugin.h"
#include "TestCore.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

// What the platform layer and the product supply, as this test needs them.
namespace FB {
class PluginWindowMac {};
class PluginEventMac {};

namespace Npapi {
class NpapiPlugin {
public:
    NpapiPlugin(const NpapiBrowserHostPtr& host, const std::string& mimetype)
        : host(host), mimetype(mimetype) {}

    NpapiBrowserHostPtr host;
    std::string mimetype;
};

boost::shared_ptr<NpapiPlugin> createNpapiPlugin(const NpapiBrowserHostPtr& host,
                                                 const std::string& mimetype) {
    return boost::make_shared<NpapiPlugin>(host, mimetype);
}
} // namespace Npapi

PluginWindowMac* createPluginWindowMacICA() {
    return nullptr;
}

PluginWindowMac* createPluginWindowMacCA() {
    return nullptr;
}

PluginWindowMac* createPluginWindowMacCG() {
    return new PluginWindowMac;
}

PluginEventMac* createPluginEventMacCocoa() {
    return new PluginEventMac;
}

std::string getPluginName(const std::string&) {
    return "Test plug-in";
}

std::string getPluginDescription(const std::string& mimetype) {
    return "Described for [" + mimetype + "]";
}
} // namespace FB

namespace {

// Makes a TestCore for every type but "none", for which it makes nothing,
// and "fail", for which it raises.
class TestFactory : public FB::FactoryBase {
public:
    FB::PluginCorePtr createPlugin(const std::string& mimetype) override {
        requestedTypes.push_back(mimetype);
        if (mimetype == "fail") {
            throw std::runtime_error("no plug-in today");
        }
        if (mimetype == "none") {
            return FB::PluginCorePtr();
        }
        lastCore = boost::make_shared<TestCore>();
        return lastCore;
    }

    std::vector<std::string> requestedTypes;
    boost::shared_ptr<TestCore> lastCore;
};

boost::shared_ptr<TestFactory> testFactory() {
    static const boost::shared_ptr<TestFactory> factory = boost::make_shared<TestFactory>();
    return factory;
}

class TestBrowserPlugin : public FB::BrowserPlugin {
public:
    using FB::BrowserPlugin::BrowserPlugin;

    void shutdown() override {}

    FB::PluginCorePtr core() const { return pluginMain; }
    static std::string path() { return fileSystemPath; }
};

TEST(FactoryBase, AppendsTheConsoleLogMethodAndNamesLevelFour) {
    TestFactory factory;
    FB::Log::LogMethodList methods{{FB::Log::LogMethod_Console, "kept"}};
    factory.getLoggingMethods(methods);
    ASSERT_EQ(methods.size(), 2u);
    EXPECT_EQ(methods.front().second, "kept");
    EXPECT_EQ(methods.back().first, 1);
    EXPECT_EQ(methods.back().second, "");
    EXPECT_EQ(factory.getLogLevel(), 4);
}

TEST(FactoryBase, HandsOutThePlatformsObjects) {
    TestFactory factory;
    const auto host = FB::Npapi::NpapiBrowserHostPtr();
    const boost::shared_ptr<FB::Npapi::NpapiPlugin> plugin =
        factory.createNpapiPlugin(host, "application/x-test");
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->mimetype, "application/x-test");

    EXPECT_EQ(factory.createPluginWindowMacICA(), nullptr);
    EXPECT_EQ(factory.createPluginWindowMacCA(), nullptr);
    const std::unique_ptr<FB::PluginWindowMac> one(factory.createPluginWindowMacCG());
    const std::unique_ptr<FB::PluginWindowMac> two(factory.createPluginWindowMacCG());
    EXPECT_TRUE(one && two && one != two) << "a new window each time";
    const std::unique_ptr<FB::PluginEventMac> translator(factory.createPluginEventMacCocoa());
    EXPECT_TRUE(translator);
}

TEST(FactoryBase, NameAndDescriptionComeFromThePluginsMetadata) {
    TestFactory factory;
    EXPECT_EQ(factory.getPluginName(""), "Test plug-in");
    EXPECT_EQ(factory.getPluginName(), factory.getPluginName(""));
    EXPECT_EQ(factory.getPluginDescription("application/x-test"),
              "Described for [application/x-test]");
    EXPECT_EQ(factory.getPluginDescription(), "Described for []");
}

TEST(BrowserPlugin, OwnsTheCoreTheFactoryMadeForItsType) {
    const TestBrowserPlugin plugin("application/x-test");
    EXPECT_EQ(testFactory()->requestedTypes.back(), "application/x-test");
    EXPECT_EQ(plugin.core(), testFactory()->lastCore);
}

TEST(BrowserPlugin, ThePathIsKeptForTheProcessAndGivenToTheCore) {
    TestBrowserPlugin first("application/x-test");
    TestBrowserPlugin second("application/x-test");
    first.setFSPath("/plugins/first.so");
    second.setFSPath("/plugins/second.so");
    EXPECT_EQ(TestBrowserPlugin::path(), "/plugins/second.so");
    EXPECT_EQ(boost::static_pointer_cast<TestCore>(first.core())->filesystemPath(),
              "/plugins/first.so");
}

TEST(BrowserPlugin, AFactoryWithoutAPluginFailsTheConstruction) {
    EXPECT_THROW(TestBrowserPlugin("fail"), std::runtime_error);
    try {
        TestBrowserPlugin plugin("none");
        FAIL() << "an empty plug-in was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The factory made no plug-in for none");
    }
}

} // namespace

FB::FactoryBasePtr getFactoryInstance() {
    return testFactory();
}
