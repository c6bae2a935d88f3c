#include "ScriptText.h"

#include <testbrowser/Identifiers.h>
#include <testbrowser/MemoryLedger.h>

#include <gtest/gtest.h>

using namespace testbrowser;

TEST(ScriptText, CharactersBeyondTheBasicPlaneTravelAsSurrogatePairsInTheEngine) {
    const std::string utf8 = "a\xF0\x9F\x98\x80z";         // a, U+1F600, z
    const std::string cesu = "a\xED\xA0\xBD\xED\xB8\x80z"; // the same as two surrogates
    EXPECT_EQ(toCesu(utf8), cesu);
    EXPECT_EQ(toUtf8(cesu.data(), cesu.size()), utf8);
    const std::string withNul("x\0y", 3);
    EXPECT_EQ(toUtf8(toCesu(withNul).data(), 3), withNul);
    const std::string basicPlane = "caf\xC3\xA9 \xE2\x82\xAC"; // the same in both
    EXPECT_EQ(toCesu(basicPlane), basicPlane);
    EXPECT_EQ(toUtf8(basicPlane.data(), basicPlane.size()), basicPlane);
    EXPECT_EQ(toCesu("plain"), "plain");
    EXPECT_EQ(toUtf8(nullptr, 0), "");
}

TEST(ScriptText, LoneSurrogatesAndInvalidBytesBecomeReplacementCharacters) {
    const std::string lone = "\xED\xA0\xBD!";
    EXPECT_EQ(toUtf8(lone.data(), lone.size()), "\xEF\xBF\xBD!");
    EXPECT_EQ(toCesu("\xC3("), "\xEF\xBF\xBD(");
}

TEST(Identifiers, AreInternedAndKnowTheirKind) {
    NPIdentifier echo = identifiers::fromString("echo");
    EXPECT_EQ(echo, identifiers::fromString("echo"));
    EXPECT_TRUE(identifiers::isString(echo));
    EXPECT_EQ(identifiers::text(echo), "echo");
    NPIdentifier seven = identifiers::fromInt(7);
    EXPECT_EQ(seven, identifiers::fromInt(7));
    EXPECT_FALSE(identifiers::isString(seven));
    EXPECT_EQ(identifiers::number(seven), 7);
    EXPECT_NE(seven, identifiers::fromString("7"));
    int notAnIdentifier = 0;
    EXPECT_FALSE(identifiers::isKnown(&notAnIdentifier));
}

TEST(Identifiers, PropertyKeysThatAreArrayIndexesBecomeIntegerIdentifiers) {
    EXPECT_EQ(identifiers::fromPropertyKey("3"), identifiers::fromInt(3));
    EXPECT_EQ(identifiers::fromPropertyKey("0"), identifiers::fromInt(0));
    for (const char* key : {"03", "-1", "3.5", "", "99999999999", "length"})
        EXPECT_TRUE(identifiers::isString(identifiers::fromPropertyKey(key))) << key;
}

TEST(MemoryLedger, KnowsEveryOpenBlockAndRefusesForeignFrees) {
    MemoryLedger ledger;
    void* a = ledger.allocate(10);
    void* b = ledger.allocate(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ledger.openBlocks(), 2u);
    EXPECT_EQ(ledger.openBytes(), 10u);
    ledger.free(a);
    ledger.free(a); // twice: counted, not freed again
    int onStack = 0;
    ledger.free(&onStack);
    ledger.free(nullptr);
    EXPECT_EQ(ledger.badFrees(), 2u);
    EXPECT_EQ(ledger.openBlocks(), 1u);
    EXPECT_TRUE(ledger.owns(b));
    ledger.free(b);
    EXPECT_EQ(ledger.openBlocks(), 0u);
}
