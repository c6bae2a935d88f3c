#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>
#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class CoreFoundationTest : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart = macos::cfCounters().live; }
    void TearDown() override {
        macos::setSystemProxies(macos::ProxySettings{});
        EXPECT_EQ(macos::cfCounters().live, liveAtStart);
    }
    static std::string text(CFStringRef string) {
        std::vector<char> buffer(2 * CFStringGetLength(string) + 1);
        EXPECT_TRUE(
            CFStringGetCString(string, buffer.data(), buffer.size(), kCFStringEncodingUTF8));
        return buffer.data();
    }
    size_t liveAtStart = 0;
};

TEST_F(CoreFoundationTest, ProxyDictionaryHoldsTheConfiguredSettings) {
    macos::setSystemProxies(macos::ProxySettings{
        {"HTTPEnable", 1}, {"HTTPProxy", std::string("p1.example")}, {"HTTPPort", 8080}});
    CFDictionaryRef proxies = SCDynamicStoreCopyProxies(nullptr);
    ASSERT_NE(proxies, nullptr);
    int enabled = 0, port = 0;
    auto enable =
        static_cast<CFNumberRef>(CFDictionaryGetValue(proxies, kSCPropNetProxiesHTTPEnable));
    ASSERT_TRUE(CFNumberGetValue(enable, kCFNumberIntType, &enabled));
    EXPECT_EQ(enabled, 1);
    auto portValue =
        static_cast<CFNumberRef>(CFDictionaryGetValue(proxies, kSCPropNetProxiesHTTPPort));
    ASSERT_TRUE(CFNumberGetValue(portValue, kCFNumberSInt32Type, &port));
    EXPECT_EQ(port, 8080);
    auto host = static_cast<CFStringRef>(CFDictionaryGetValue(proxies, kSCPropNetProxiesHTTPProxy));
    EXPECT_EQ(text(host), "p1.example");
    EXPECT_EQ(CFDictionaryGetValue(proxies, kSCPropNetProxiesSOCKSEnable), nullptr);
    CFRelease(proxies);
}

TEST_F(CoreFoundationTest, NoProxySettingsGiveNull) {
    macos::setSystemProxies(std::nullopt);
    EXPECT_EQ(SCDynamicStoreCopyProxies(nullptr), nullptr);
}

TEST_F(CoreFoundationTest, StringLengthIsInUtf16UnitsAndTheCopyNeedsRoomForTheTerminator) {
    macos::setSystemProxies(
        macos::ProxySettings{{"SOCKSProxy", std::string("h\xC3\xA9\xF0\x9F\x98\x80")}});
    CFDictionaryRef proxies = SCDynamicStoreCopyProxies(nullptr);
    auto host =
        static_cast<CFStringRef>(CFDictionaryGetValue(proxies, kSCPropNetProxiesSOCKSProxy));
    EXPECT_EQ(CFStringGetLength(host), 4);
    char small[7] = "xxxxxx"; // the text takes 7 bytes, and the terminator one more
    EXPECT_FALSE(CFStringGetCString(host, small, sizeof small, kCFStringEncodingUTF8));
    EXPECT_STREQ(small, "xxxxxx");
    char fits[8];
    EXPECT_TRUE(CFStringGetCString(host, fits, sizeof fits, kCFStringEncodingUTF8));
    EXPECT_STREQ(fits, "h\xC3\xA9\xF0\x9F\x98\x80");
    CFRelease(proxies);
}

TEST_F(CoreFoundationTest, ReleasesAreCountedAndForeignOnesDoNoHarm) {
    macos::CFCounters before = macos::cfCounters();
    CFDictionaryRef proxies = SCDynamicStoreCopyProxies(nullptr);
    EXPECT_EQ(macos::cfCounters().live, before.live + 1);
    CFRelease(proxies);
    int notAnObject = 0;
    CFRelease(&notAnObject);
    macos::CFCounters after = macos::cfCounters();
    EXPECT_EQ(after.releases, before.releases + 2);
    EXPECT_EQ(after.foreignReleases, before.foreignReleases + 1);
}

TEST_F(CoreFoundationTest, RecordingContextKeepsEachDrawingCall) {
    CGContextRef context = macos::createRecordingContext();
    CGContextSaveGState(context);
    CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
    const CGFloat black[] = {0, 0, 0, 1};
    CGColorRef color = CGColorCreate(space, black);
    CGContextSetFillColorWithColor(context, color);
    CGContextSetStrokeColorWithColor(context, color);
    CGColorRelease(color);
    CGColorSpaceRelease(space);
    CGContextFillRect(context, CGRectMake(0, 0, 400, 24));
    CGContextSetTextMatrix(context, CGAffineTransformMake(1, 0, 0, -1, 0, 0));
    CGContextSelectFont(context, "Helvetica", 24, kCGEncodingMacRoman);
    CGContextShowTextAtPoint(context, 0, 19, "CoreGraphics 0.0 fps #0xxx", 23);
    EXPECT_EQ(macos::savedStateDepth(context), 1u);
    CGContextRestoreGState(context);
    CGContextRestoreGState(context);
    EXPECT_EQ(macos::recordedDrawing(context),
              (std::vector<std::string>{"SaveGState", "SetFillColor 0 0 0 1",
                                        "SetStrokeColor 0 0 0 1", "FillRect 0 0 400 24",
                                        "SetTextMatrix 1 0 0 -1 0 0", "SelectFont Helvetica 24 1",
                                        "ShowTextAtPoint 0 19 CoreGraphics 0.0 fps #0",
                                        "RestoreGState", "RestoreGState without SaveGState"}));
    CGContextRelease(context);
}

TEST_F(CoreFoundationTest, OnlyTheGenericRgbSpaceIsKnown) {
    EXPECT_EQ(CGColorSpaceCreateWithName(kSCPropNetProxiesHTTPPort), nullptr);
    const CGFloat green[] = {0, 1, 0, 1};
    EXPECT_EQ(CGColorCreate(nullptr, green), nullptr);
}

TEST_F(CoreFoundationTest, MicrosecondsReadTheRunLoopClock) {
    macos::RunLoop& loop = macos::RunLoop::main();
    loop.bindToCurrentThread();
    loop.reset(true);
    loop.runFor(5000s);
    UnsignedWide now;
    Microseconds(&now);
    uint64_t micros = (uint64_t(now.hi) << 32) | now.lo;
    EXPECT_EQ(micros, 5000000000ull);
    loop.reset(false);
}

} // namespace
