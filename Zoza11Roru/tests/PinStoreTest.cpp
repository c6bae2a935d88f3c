// The process-wide PIN store on its own.
#include "EngineTestSupport.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class PinStore : public EmptyPinStore {
protected:
    DigitalSignatureUtilPkcs11 engine;
};

TEST_F(PinStore, AnEmptyStoreHasNothingMissingOrRefused) {
    EXPECT_FALSE(MissingPin());
    EXPECT_FALSE(InvalidPin());
    EXPECT_FALSE(engine.MissingPin());
    EXPECT_FALSE(engine.InvalidPin());
    EXPECT_THAT(engine.MissingPines(), IsEmpty());
    EXPECT_THAT(engine.InvalidPines(), IsEmpty());
    EXPECT_EQ(engine.InvalidPinRetries("A"), 0);
    EXPECT_TRUE(gPines.empty());
}

TEST_F(PinStore, SetPinInsertsAnEntry) {
    engine.SetPin("A", "1234");
    engine.SetPin("B", "");

    EXPECT_EQ(gPines.at("A").pin, "1234");
    EXPECT_FALSE(gPines.at("A").invalid);
    EXPECT_EQ(gPines.at("A").retries, 0);
    EXPECT_THAT(engine.MissingPines(), ElementsAre("B"));
}

TEST_F(PinStore, TheSamePinAgainKeepsTheRefusedMarkAndCount) {
    gPines["A"] = PinInfoStruct("0000", true, 2);

    engine.SetPin("A", "0000");

    EXPECT_TRUE(gPines.at("A").invalid);
    EXPECT_EQ(gPines.at("A").retries, 2);
}

TEST_F(PinStore, AnotherPinClearsTheRefusedMarkAndKeepsTheCount) {
    gPines["A"] = PinInfoStruct("0000", true, 2);

    engine.SetPin("A", "1234");
    EXPECT_EQ(gPines.at("A").pin, "1234");
    EXPECT_FALSE(gPines.at("A").invalid);
    EXPECT_EQ(engine.InvalidPinRetries("A"), 2);

    engine.SetPin("A", "");
    EXPECT_TRUE(engine.MissingPin());
    EXPECT_EQ(engine.InvalidPinRetries("A"), 2);
}

TEST_F(PinStore, ReportsMissingAndRefusedModulesInKeyOrder) {
    gPines["C"] = PinInfoStruct("", false, 0);
    gPines["B"] = PinInfoStruct("1", true, 1);
    gPines["A"] = PinInfoStruct("", false, 0);
    gPines["D"] = PinInfoStruct("2", false, 0);

    EXPECT_TRUE(MissingPin());
    EXPECT_TRUE(InvalidPin());
    EXPECT_THAT(engine.MissingPines(), ElementsAre("A", "C"));
    EXPECT_THAT(engine.InvalidPines(), ElementsAre("B"));
}

TEST_F(PinStore, RetriesOfAnUnknownModuleAddNoEntry) {
    gPines["A"] = PinInfoStruct("1", true, 3);

    EXPECT_EQ(engine.InvalidPinRetries("A"), 3);
    EXPECT_EQ(engine.InvalidPinRetries("Z"), 0);
    EXPECT_EQ(gPines.size(), 1u);
}

TEST_F(PinStore, ClearPinEmptiesTheStore) {
    engine.SetPin("A", "1");
    engine.SetPin("B", "");

    engine.ClearPin();

    EXPECT_TRUE(gPines.empty());
}

TEST_F(PinStore, TheStoreOutlivesTheEngine) {
    {
        DigitalSignatureUtilPkcs11 other;
        other.SetPin("A", "1");
    }

    EXPECT_EQ(gPines.at("A").pin, "1");
}

TEST(PinInfo, DefaultsToNoPin) {
    PinInfoStruct info;
    EXPECT_EQ(info.pin, "");
    EXPECT_FALSE(info.invalid);
    EXPECT_EQ(info.retries, 0);
}

} // namespace
