// A PIN must not survive in memory that the PIN store gives back. This
// executable replaces the global allocation functions so that, while a scan
// is armed, every block freed is searched for a PIN before it is released.
#include "DigitalSignatureUtilPkcs11.h"
#include "FreedBlockScan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Searches the stack just below the caller's frame, where the frames of the
// calls the caller has returned from lay, for a text. The stack below the
// stack pointer stays mapped, and no call is made while it is read; the
// sanitizers are told this read past any one object is meant.
__attribute__((noinline, no_sanitize("address", "undefined"))) bool
stackBelowHolds(const std::string& sought) {
    const auto top = reinterpret_cast<const volatile unsigned char*>(
        reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)));
    const auto text = reinterpret_cast<const unsigned char*>(sought.data());
    const std::size_t length = sought.size();
    const std::size_t depth = 64 * 1024;
    for (const volatile unsigned char* at = top - depth; at + length <= top; ++at) {
        std::size_t matched = 0;
        while (matched < length && at[matched] == text[matched])
            ++matched;
        if (matched == length)
            return true;
    }
    return false;
}

// Runs the PIN store's call in a frame set well below the scan's own, so that
// the scan's frame does not cover what the call left.
__attribute__((noinline)) void setPinDeep(DigitalSignatureUtil& engine, const std::string& name,
                                          const std::string& pin) {
    volatile unsigned char pad[2048];
    std::memset(const_cast<unsigned char*>(pad), 0, sizeof pad);
    engine.SetPin(name, pin);
    pad[0] = pad[sizeof pad - 1];
}

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

// A short PIN fits in the string itself; no copy of it made on the way into
// the store may stay behind on the stack.
TEST_F(PinWipe, SetPinLeavesNoCopyOfAShortPinOnTheStack) {
    const std::string pin(std::string("5172") + "8306");
    ASSERT_FALSE(stackBelowHolds(pin.substr(1)));
    setPinDeep(engine, "Certificado VADOD", pin);
    EXPECT_FALSE(stackBelowHolds(pin.substr(1)));
    EXPECT_EQ(gPines["Certificado VADOD"].pin, pin);
}

} // namespace
