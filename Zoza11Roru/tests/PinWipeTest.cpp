// A PIN must not survive in memory that the PIN store gives back. This
// executable replaces the global allocation functions so that, while a scan
// is armed, every block freed is searched for a PIN before it is released.
#include "DigitalSignatureUtilPkcs11.h"
#include "FreedBlockScan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class PinWipe : public ::testing::Test {
protected:
    void SetUp() override { gPines.clear(); }
    void TearDown() override { gPines.clear(); }

    DigitalSignatureUtilPkcs11 engine;
};

// A short PIN lives inside the store's entry, a long one in a buffer of its
// own: both are freed by ClearPin.
TEST_F(PinWipe, ClearPinOverwritesEveryPinBeforeFreeingIt) {
    for (const std::string pin : {"73915", "7391573915739157391573915"}) {
        engine.SetPin("Certificado VADOD", pin);
        engine.SetPin("Otro modulo", pin);
        EXPECT_EQ(freedBlocksHolding(pin, [this] { engine.ClearPin(); }), 0) << pin;
        EXPECT_TRUE(gPines.empty());
    }
}

TEST_F(PinWipe, SetPinOverwritesTheOldPinWhoseBufferItFrees) {
    const std::string old = "48261482614826148261";
    engine.SetPin("Certificado VADOD", old);
    EXPECT_EQ(freedBlocksHolding(old,
                                 [this] {
                                     engine.SetPin("Certificado VADOD",
                                                   "9999999999999999999999999999999999999999");
                                 }),
              0);
}

// A shorter PIN is written over the start of the old one; what follows must
// not be the old PIN's rest.
TEST_F(PinWipe, SetPinLeavesNoRestOfALongerOldPin) {
    engine.SetPin("Certificado VADOD", "98765432");
    engine.SetPin("Certificado VADOD", "1");
    EXPECT_EQ(freedBlocksHolding("765432", [this] { engine.ClearPin(); }), 0);
}

} // namespace
