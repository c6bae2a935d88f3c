#include <Foundation/Foundation.h>
#include <MacStandIn/StandIn.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Each test runs inside its own autorelease pool, as the system's folder helpers do.
class FoundationTest : public ::testing::Test {
protected:
    void SetUp() override { pool = new NSAutoreleasePool(); }
    void TearDown() override {
        pool->release();
        macos::setHomeDirectory(std::nullopt);
        macos::setTemporaryDirectory(std::nullopt);
        macos::setApplicationSupportDirectories(std::nullopt);
    }
    static std::string text(NSString* string) { return string->UTF8String(); }

    NSAutoreleasePool* pool = nullptr;
};

TEST_F(FoundationTest, StringCountsUtf16UnitsAndGivesBackItsUtf8) {
    NSString* string = NSString::stringWithUTF8String("a\xC3\xA9\xF0\x9F\x98\x80");
    ASSERT_NE(string, nil);
    EXPECT_EQ(string->length(), 4u); // a, e-acute, and a surrogate pair
    EXPECT_EQ(string->characterAtIndex(1), 0xE9);
    EXPECT_EQ(string->characterAtIndex(2), 0xD83D);
    EXPECT_STREQ(string->UTF8String(), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_THROW(string->characterAtIndex(4), std::out_of_range);
}

TEST_F(FoundationTest, StringFromNullOrInvalidUtf8IsNil) {
    EXPECT_EQ(NSString::stringWithUTF8String(nullptr), nil);
    EXPECT_EQ(NSString::stringWithUTF8String("\xC3("), nil);
}

TEST_F(FoundationTest, CStringsInTheDefaultEncodingAndOthers) {
    EXPECT_EQ(NSString::defaultCStringEncoding(), NSMacOSRomanStringEncoding);
    NSString* accented = NSString::stringWithUTF8String("caf\xC3\xA9");
    EXPECT_STREQ(accented->cStringUsingEncoding(NSMacOSRomanStringEncoding), "caf\x8E");
    EXPECT_EQ(accented->cStringUsingEncoding(NSASCIIStringEncoding), nullptr);
    EXPECT_STREQ(accented->cStringUsingEncoding(NSUTF8StringEncoding), "caf\xC3\xA9");
    NSString* han = NSString::stringWithUTF8String("\xE4\xB8\xAD");
    EXPECT_EQ(han->cStringUsingEncoding(NSMacOSRomanStringEncoding), nullptr);
    EXPECT_EQ(han->cStringUsingEncoding(12345), nullptr);
}

TEST_F(FoundationTest, AppendingPathComponents) {
    struct Case {
        const char* base;
        const char* component;
        const char* expected;
    };
    const Case cases[] = {
        {"/Users/a", "Velmora", "/Users/a/Velmora"},
        {"/Users/a/", "Velmora", "/Users/a/Velmora"},
        {"/Users/a", "/Velmora", "/Users/a/Velmora"},
        {"/Users/a/", "", "/Users/a"},
        {"/", "tmp", "/tmp"},
        {"", "tmp", "tmp"},
    };
    for (const Case& c : cases) {
        NSString* base = NSString::stringWithUTF8String(c.base);
        NSString* joined =
            base->stringByAppendingPathComponent(NSString::stringWithUTF8String(c.component));
        EXPECT_EQ(text(joined), c.expected) << c.base << " + " << c.component;
    }
}

TEST_F(FoundationTest, FoldersFollowTheSettings) {
    macos::setHomeDirectory(std::string("/home/tester"));
    macos::setTemporaryDirectory(std::string("/var/tmp"));
    EXPECT_EQ(text(NSHomeDirectory()), "/home/tester");
    EXPECT_EQ(text(NSTemporaryDirectory()), "/var/tmp/");
    NSArray* found =
        NSSearchPathForDirectoriesInDomains(NSApplicationSupportDirectory, NSUserDomainMask, YES);
    ASSERT_EQ(found->count(), 1u);
    EXPECT_EQ(text(static_cast<NSString*>(found->objectAtIndex(0))),
              "/home/tester/Library/Application Support");
    EXPECT_THROW(found->objectAtIndex(1), std::out_of_range);
}

TEST_F(FoundationTest, ApplicationSupportSearchCanComeBackEmpty) {
    macos::setApplicationSupportDirectories(std::vector<std::string>{});
    NSArray* found =
        NSSearchPathForDirectoriesInDomains(NSApplicationSupportDirectory, NSUserDomainMask, YES);
    EXPECT_EQ(found->count(), 0u);
}

TEST_F(FoundationTest, NSLogFormatsAndKeepsItsMessages) {
    macos::clearLoggedMessages();
    NSLog("Shift pressed!");
    NSLog("%d fps", 60);
    EXPECT_EQ(macos::loggedMessages(), (std::vector<std::string>{"Shift pressed!", "60 fps"}));
}

} // namespace
