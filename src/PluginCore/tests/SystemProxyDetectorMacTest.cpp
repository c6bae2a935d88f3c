// The system's proxy for a URL, from the settings the stand-in gives
// SCDynamicStoreCopyProxies.

#include "SystemProxyDetectorMac.h"

#include <MacStandIn/StandIn.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace {

typedef std::map<std::string, std::string> Settings;

const Settings untouched = {{"kept", "yes"}};

struct Case {
    const char* label;
    macos::ProxySettings system;
    std::string url;
    bool found;
    Settings result;
};

Settings proxy(const std::string& type, const std::string& host, const std::string& port) {
    Settings settings = untouched;
    settings["type"] = type;
    settings["hostname"] = host;
    settings["port"] = port;
    return settings;
}

class SystemProxies : public ::testing::Test {
protected:
    void SetUp() override { cfBefore = macos::cfCounters(); }
    void TearDown() override {
        macos::setSystemProxies(macos::ProxySettings{});
        const macos::CFCounters after = macos::cfCounters();
        EXPECT_EQ(after.live, cfBefore.live) << "every dictionary is released";
        EXPECT_EQ(after.foreignReleases, cfBefore.foreignReleases);
    }

    FB::SystemProxyDetectorMac detector;
    macos::CFCounters cfBefore;
};

TEST_F(SystemProxies, TheURLsProtocolChoosesTheProxy) {
    const macos::ProxySettings all = {
        {"HTTPEnable", 1},  {"HTTPProxy", "web.example"},     {"HTTPPort", 8080},
        {"HTTPSEnable", 1}, {"HTTPSProxy", "secure.example"}, {"HTTPSPort", 8443},
        {"SOCKSEnable", 1}, {"SOCKSProxy", "socks.example"},  {"SOCKSPort", 1080}};
    const macos::ProxySettings socksOnly = {
        {"HTTPEnable", 0},  {"HTTPProxy", "web.example"},    {"HTTPPort", 8080},
        {"SOCKSEnable", 1}, {"SOCKSProxy", "socks.example"}, {"SOCKSPort", 1080}};
    const Case cases[] = {
        {"http", all, "http://example.com/a", true, proxy("http", "web.example", "8080")},
        {"https", all, "https://example.com/", true, proxy("https", "secure.example", "8443")},
        {"protocol in capitals", all, "HTTPS://example.com/", true,
         proxy("https", "secure.example", "8443")},
        {"another protocol", all, "ftp://example.com/", true,
         proxy("socks", "socks.example", "1080")},
        {"http disabled", socksOnly, "http://example.com/", true,
         proxy("socks", "socks.example", "1080")},
        {"https without its own proxy", socksOnly, "https://example.com/", true,
         proxy("socks", "socks.example", "1080")},
        {"only HTTP for an https URL",
         {{"HTTPEnable", 1}, {"HTTPProxy", "web.example"}},
         "https://example.com/",
         false,
         untouched},
        {"nothing enabled",
         {{"HTTPEnable", 0}, {"SOCKSEnable", 0}, {"SOCKSProxy", "s"}},
         "http://example.com/",
         false,
         untouched},
        {"no enable entries",
         {{"HTTPProxy", "web.example"}, {"SOCKSProxy", "s"}},
         "http://example.com/",
         false,
         untouched},
        {"empty settings", {}, "http://example.com/", false, untouched},
        {"no port",
         {{"HTTPEnable", 1}, {"HTTPProxy", "web.example"}},
         "http://example.com/",
         true,
         proxy("http", "web.example", "0")},
        {"no host: the next kind",
         {{"HTTPEnable", 1}, {"HTTPPort", 8080}, {"SOCKSEnable", 1}, {"SOCKSProxy", "s"}},
         "http://example.com/",
         true,
         proxy("socks", "s", "0")},
        {"no host and nothing else",
         {{"SOCKSEnable", 1}, {"SOCKSPort", 1080}},
         "ftp://example.com/",
         false,
         untouched},
        {"empty host",
         {{"HTTPEnable", 1}, {"HTTPProxy", ""}, {"HTTPPort", 1}},
         "http://example.com/",
         false,
         untouched},
        {"host of three-byte characters",
         {{"HTTPEnable", 1}, {"HTTPProxy", "\xe4\xbb\xa3\xe7\x90\x86.\xe4\xbe\x8b\xe3\x81\x88"}},
         "http://example.com/",
         true,
         proxy("http", "\xe4\xbb\xa3\xe7\x90\x86.\xe4\xbe\x8b\xe3\x81\x88", "0")},
        {"host beyond the basic plane",
         {{"SOCKSEnable", 1},
          {"SOCKSProxy", "\xf0\x9f\x98\x80\xf0\x9f\x98\x80"},
          {"SOCKSPort", -1}},
         "ftp://example.com/",
         true,
         proxy("socks", "\xf0\x9f\x98\x80\xf0\x9f\x98\x80", "-1")},
    };
    for (const Case& c : cases) {
        macos::setSystemProxies(c.system);
        Settings settings = untouched;
        EXPECT_EQ(detector.detectProxy(settings, c.url), c.found) << c.label;
        EXPECT_EQ(settings, c.result) << c.label;
    }
}

TEST_F(SystemProxies, AnEarlierTypeIsNotAProxyFound) {
    macos::setSystemProxies(macos::ProxySettings{{"HTTPEnable", 0}});
    Settings settings = {{"type", "http"}, {"hostname", "old"}, {"port", "1"}};
    const Settings before = settings;
    EXPECT_FALSE(detector.detectProxy(settings, "http://example.com/"));
    EXPECT_EQ(settings, before);
}

TEST_F(SystemProxies, NoSettingsFromTheSystemFindsNothing) {
    macos::setSystemProxies(std::nullopt);
    Settings settings = untouched;
    EXPECT_FALSE(detector.detectProxy(settings, "http://example.com/"));
    EXPECT_FALSE(detector.detectProxy(settings, "b@d://a/"));
    EXPECT_EQ(settings, untouched);
}

TEST_F(SystemProxies, AURLTheParserRefusesRaisesItsError) {
    macos::setSystemProxies(macos::ProxySettings{{"SOCKSEnable", 1}, {"SOCKSProxy", "s"}});
    Settings settings = untouched;
    EXPECT_THROW(detector.detectProxy(settings, "b@d://a/"), std::runtime_error);
    EXPECT_EQ(settings, untouched);
}

TEST(SystemProxyDetector, TheProcessHasOneDetectorOfThisPlatform) {
    FB::SystemProxyDetector* const detector = FB::SystemProxyDetector::get();
    EXPECT_EQ(FB::SystemProxyDetector::get(), detector);
    EXPECT_NE(dynamic_cast<FB::SystemProxyDetectorMac*>(detector), nullptr);
}

} // namespace
