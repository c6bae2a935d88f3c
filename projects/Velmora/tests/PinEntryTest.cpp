// PIN entry: typing, the PIN's hand-over to the engine's store and the PIN
// state the page reads after each operation.
#include "PluginFixtures.h"

namespace {

const char* const engineModule = "Certificado VADOD";

class PinEntry : public PluginOnHost {};

TEST_F(PinEntry, TypingAndDeletingCharacters) {
    call("deletePinChar");
    EXPECT_EQ(read<int>("pinLength"), 0);

    typePin("123");
    call("deletePinChar");
    EXPECT_EQ(read<int>("pinLength"), 2);
    EXPECT_EQ(read<std::string>("pin"), "");

    // Handed over, it shows which two remained.
    gPines[engineModule] = PinInfoStruct();
    call("getCertificate", {"AA=="});
    call("getCertificate", {"AA=="});
    EXPECT_EQ(gPines[engineModule].pin, "12");
    EXPECT_EQ(read<int>("pinLength"), 0);
}

TEST_F(PinEntry, AWrittenPinIsNeverReadBack) {
    set("pin", "abcd");
    EXPECT_EQ(read<std::string>("pin"), "");
    EXPECT_EQ(read<int>("pinLength"), 4);
    set("pin", "xy");
    EXPECT_EQ(read<int>("pinLength"), 2);
}

TEST_F(PinEntry, APinTypedBeforeAModuleAsksForOneWaits) {
    typePin("1234");
    call("getCertificate", {"AA=="});
    EXPECT_EQ(read<int>("pinLength"), 4);
    EXPECT_TRUE(gPines.empty());
}

TEST_F(PinEntry, EmptyingThePinEmptiesTheStoreAndKeepsThePinState) {
    gPines[engineModule] = PinInfoStruct("", false, 0);
    call("getCertificate", {"AA=="});
    ASSERT_TRUE(read<bool>("isPinMissing"));
    typePin("12");
    gPines["Otro"] = PinInfoStruct("5678", true, 3);

    set("pin", "");

    EXPECT_TRUE(gPines.empty());
    EXPECT_EQ(read<int>("pinLength"), 0);
    EXPECT_TRUE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), engineModule);
}

TEST_F(PinEntry, EmptyingThePinOnAFreshObject) {
    gPines["Otro"] = PinInfoStruct("5678", false, 0);
    set("pin", "");
    EXPECT_TRUE(gPines.empty());
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), "");
}

TEST_F(PinEntry, RetryCountOnAFreshObjectIsZero) {
    EXPECT_EQ(read<int>("pinRetryCount"), 0);
}

// A refused PIN comes before a missing one, whatever the store's order.
TEST_F(PinEntry, ARefusedPinNamesItsModuleBeforeAMissingOne) {
    gPines[engineModule] = PinInfoStruct("", false, 0);
    gPines["Otro"] = PinInfoStruct("5678", true, 3);

    EXPECT_EQ(call("getCertificate", {"AA=="}).cast<std::string>(), "");

    EXPECT_EQ(read<int>("lastError"), 5);
    EXPECT_TRUE(read<bool>("isPinInvalid"));
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), "Otro");
    EXPECT_EQ(read<int>("pinRetryCount"), 3);
}

class PinOnToken : public PluginOnToken {};

// The whole conversation: missing, refused, refused again when retyped the
// same, then accepted.
TEST_F(PinOnToken, TheConversationWithThePage) {
    typePin("1234");
    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 11);
    EXPECT_TRUE(read<bool>("isPinMissing"));
    EXPECT_FALSE(read<bool>("isPinInvalid"));
    EXPECT_EQ(read<std::string>("pinModuleName"), engineModule);
    EXPECT_EQ(read<int>("pinLength"), 4);
    set("pin", "9999");

    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 5);
    EXPECT_TRUE(read<bool>("isPinInvalid"));
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), engineModule);
    EXPECT_EQ(read<int>("pinRetryCount"), 1);
    EXPECT_EQ(read<int>("pinLength"), 0);

    // The same PIN again leaves the refused mark: the token is not asked.
    typePin("9999");
    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 5);
    EXPECT_TRUE(read<bool>("isPinInvalid"));
    EXPECT_EQ(read<int>("pinRetryCount"), 1);

    typePin("1234");
    EXPECT_NE(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 0);
    EXPECT_FALSE(read<bool>("isPinInvalid"));
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), "");
    EXPECT_EQ(read<int>("pinRetryCount"), 0);
    EXPECT_EQ(gPines[engineModule].retries, 1);
}

// A NUL does not end the PIN: the token's PIN followed by a NUL and more is
// another PIN, refused, not the token's PIN cut short.
TEST_F(PinOnToken, APinWithANulIsTriedWhole) {
    const std::string withNul("1234\0x", 6);
    sign(32);
    set("pin", withNul);

    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 5);
    EXPECT_TRUE(read<bool>("isPinInvalid"));
    EXPECT_EQ(gPines[engineModule].pin, withNul);
}

TEST_F(PinOnToken, EmptyingThePinLogsOutAndStartsOver) {
    typePin("1234");
    sign(32);
    EXPECT_NE(sign(32), "");

    set("pin", "");

    EXPECT_TRUE(gPines.empty());
    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 11);
    typePin("1234");
    EXPECT_NE(sign(32), "");
}

// The engine keeps a failure's low-level code across successes; emptying the
// PIN drops the engine, so the next operation starts with none.
TEST_F(PinOnToken, EmptyingThePinStartsAFreshEngine) {
    typePin("1234");
    sign(32);
    set("pin", "9999");
    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<long>("lastLowLevelError"), 0xA0); // CKR_PIN_INCORRECT

    set("pin", "");

    EXPECT_NE(call("getDigitalSignatureCertificates").cast<std::string>(), "");
    EXPECT_EQ(read<long>("lastLowLevelError"), 0);
}

// One store serves every instance of the process.
TEST_F(PinOnToken, APinHandedOverServesEveryInstance) {
    typePin("1234");
    sign(32);
    EXPECT_NE(sign(32), "");

    const boost::shared_ptr<Velmora> other = boost::make_shared<Velmora>();
    const FB::JSAPIPtr otherApi = other->getRootJSAPI();
    EXPECT_NE(
        otherApi->Invoke("signPkcs1", {certId, toBase64(std::string(20, 's'))}).cast<std::string>(),
        "");
    EXPECT_EQ(otherApi->GetProperty("lastError").cast<int>(), 0);
}

} // namespace
