// After a PIN has been typed and used, no readable memory of the process
// holds it: the token's PIN is one the test itself never holds whole.
#include "PluginFixtures.h"

#include "Factory.h"

namespace {

// "q7Rm4Tz9", each character shifted up by one.
const SecretPin secret("r8Sn5U{:");

class PinMemory : public PluginOnToken {
protected:
    PinMemory() { secret.setOn(token); }

    void signWithTheSecret() {
        typePin(secret);
        sign(32);
        ASSERT_EQ(read<int>("lastError"), 11);
        ASSERT_NE(sign(32), "");
    }
};

TEST_F(PinMemory, TheTestAloneDoesNotHoldThePin) {
    EXPECT_FALSE(secret.heldInProcessMemory());
    typePin(secret);
    EXPECT_TRUE(secret.heldInProcessMemory());
}

TEST_F(PinMemory, EmptyingThePinLeavesItNowhere) {
    signWithTheSecret();
    set("pin", "");
    EXPECT_FALSE(secret.heldInProcessMemory());
}

TEST_F(PinMemory, TheModuleEndLeavesItNowhere) {
    signWithTheSecret();
    EXPECT_TRUE(secret.heldInProcessMemory());
    api.reset();
    plugin.reset();
    getFactoryInstance()->globalPluginDeinitialize();
    EXPECT_FALSE(secret.heldInProcessMemory());
}

TEST_F(PinMemory, ARefusedPinAndTheDeletedCharactersLeaveNothing) {
    typePin("9999");
    sign(32);
    sign(32);
    ASSERT_EQ(read<int>("lastError"), 5);
    typePin(secret);
    typePin("xyz");
    for (int i = 0; i < 3; ++i) {
        call("deletePinChar");
    }
    ASSERT_NE(sign(32), "");
    set("pin", "");
    EXPECT_FALSE(secret.heldInProcessMemory());
}

} // namespace
