// A PIN must not survive in memory that the PIN store gives back. This
// executable replaces the global allocation functions so that, while a scan
// is armed, every block freed is searched for a PIN before it is released.
#include "DigitalSignatureUtilPkcs11.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// The bytes searched for, set before arming; no allocation while armed.
char gSought[64];
std::size_t gSoughtLength = 0;
std::atomic<bool> gArmed(false);
std::atomic<int> gFreedHoldingIt(0);

void scanFreedBlock(void* block) {
    if (!gArmed || !block || gSoughtLength == 0)
        return;
    if (memmem(block, malloc_usable_size(block), gSought, gSoughtLength))
        ++gFreedHoldingIt;
}

} // namespace

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* block) noexcept {
    scanFreedBlock(block);
    std::free(block);
}

void operator delete[](void* block) noexcept {
    operator delete(block);
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    operator delete(block);
}

namespace {

class PinWipe : public ::testing::Test {
protected:
    void SetUp() override { gPines.clear(); }
    void TearDown() override {
        gArmed = false;
        gPines.clear();
    }

    // Runs `step` with the scan armed for `sought`; returns how many blocks
    // freed meanwhile held it.
    template <typename Step> int freedHolding(const std::string& sought, Step step) {
        std::memcpy(gSought, sought.data(), sought.size());
        gSoughtLength = sought.size();
        gFreedHoldingIt = 0;
        gArmed = true;
        step();
        gArmed = false;
        return gFreedHoldingIt;
    }

    DigitalSignatureUtilPkcs11 engine;
};

// A short PIN lives inside the store's entry, a long one in a buffer of its
// own: both are freed by ClearPin.
TEST_F(PinWipe, ClearPinOverwritesEveryPinBeforeFreeingIt) {
    for (const std::string pin : {"73915", "7391573915739157391573915"}) {
        engine.SetPin("Certificado VADOD", pin);
        engine.SetPin("Otro modulo", pin);
        EXPECT_EQ(freedHolding(pin, [this] { engine.ClearPin(); }), 0) << pin;
        EXPECT_TRUE(gPines.empty());
    }
}

TEST_F(PinWipe, SetPinOverwritesTheOldPinWhoseBufferItFrees) {
    const std::string old = "48261482614826148261";
    engine.SetPin("Certificado VADOD", old);
    EXPECT_EQ(freedHolding(old,
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
    EXPECT_EQ(freedHolding("765432", [this] { engine.ClearPin(); }), 0);
}

} // namespace
