// The typed PIN leaves nothing behind in the memory the script object gives
// back: this program replaces the global allocation functions so that every
// block freed while a step runs is searched for the PIN.
#include "FreedBlockScan.h"
#include "PluginFixtures.h"

namespace {

class PinWipe : public PluginOnHost {};

// Longer than a string keeps in place, so that every copy has a block of its own.
const std::string longPin = "7391573915739157391573915";

TEST_F(PinWipe, TheScriptObjectWipesThePinWhenItGoes) {
    typePin(longPin);
    EXPECT_EQ(freedBlocksHolding(longPin,
                                 [this] {
                                     api.reset();
                                     plugin.reset();
                                 }),
              0);
}

// A PIN longer than the first block moves to a larger one.
TEST_F(PinWipe, AGrowingPinWipesTheBlockItLeaves) {
    const std::string first64 = std::string(64, '4');
    typePin(first64);
    EXPECT_EQ(freedBlocksHolding(first64, [this] { typePin("5"); }), 0);
    EXPECT_EQ(read<int>("pinLength"), 65);
}

TEST_F(PinWipe, AWrittenPinLeavesNoCopy) {
    const FB::variant written(longPin);
    EXPECT_EQ(freedBlocksHolding(longPin, [&] { set("pin", written); }), 0);
    EXPECT_EQ(read<int>("pinLength"), static_cast<int>(longPin.size()));
    EXPECT_EQ(freedBlocksHolding(longPin, [&] { set("pin", "other"); }), 0);
}

TEST_F(PinWipe, TheHandOverLeavesNoCopy) {
    gPines["Certificado VADOD"] = PinInfoStruct();
    call("getCertificate", {"AA=="});
    ASSERT_EQ(read<std::string>("pinModuleName"), "Certificado VADOD");
    typePin(longPin);

    EXPECT_EQ(freedBlocksHolding(longPin, [this] { call("getCertificate", {"AA=="}); }), 0);
    EXPECT_EQ(gPines["Certificado VADOD"].pin, longPin);
}

} // namespace
