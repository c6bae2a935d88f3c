// The stand-in module reaches a real token, and its recording build keeps
// and answers calls as the engine's tests need.
#include "ASEP11Recorder.h"
#include "SoftHsmToken.h"

#include <gtest/gtest.h>
#include <pkcs11.h>

#include <cstdlib>
#include <new>

namespace {

CK_SLOT_ID firstSlotWithToken() {
    CK_ULONG count = 0;
    EXPECT_EQ(C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    EXPECT_GE(count, 1u);
    CK_SLOT_ID slots[8];
    count = 8;
    EXPECT_EQ(C_GetSlotList(CK_TRUE, slots, &count), CKR_OK);
    return slots[0];
}

TEST(ASEP11, ForwardsALoginCycleToTheToken) {
    SoftHsmToken token;
    ASSERT_EQ(C_Initialize(nullptr), CKR_OK);
    CK_SESSION_HANDLE session = 0;
    ASSERT_EQ(C_OpenSession(firstSlotWithToken(), CKF_SERIAL_SESSION, nullptr, nullptr, &session),
              CKR_OK);
    CK_UTF8CHAR wrong[] = {'0', '0', '0', '0'};
    EXPECT_EQ(C_Login(session, CKU_USER, wrong, sizeof wrong), CKR_PIN_INCORRECT);
    CK_UTF8CHAR right[] = {'1', '2', '3', '4'};
    EXPECT_EQ(C_Login(session, CKU_USER, right, sizeof right), CKR_OK);
    EXPECT_EQ(C_Logout(session), CKR_OK);
    EXPECT_EQ(C_CloseSession(session), CKR_OK);
    EXPECT_EQ(C_Finalize(nullptr), CKR_OK);
}

TEST(ASEP11, AnotherModuleCanBeNamed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("ASEP11_MODULE", "/nonexistent/libpkcs11.so", 1);
            std::exit(C_Initialize(nullptr) == CKR_GENERAL_ERROR ? 0 : 1);
        },
        testing::ExitedWithCode(0), "cannot load /nonexistent/libpkcs11.so");
}

TEST(ASEP11Recording, RecordsForwardedCallsAndAnswersInjectedCodes) {
    SoftHsmToken token;
    ASEP11Recorder recorder;
    recorder.reset();
    recorder.inject("C_Initialize", CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(C_Initialize(nullptr), CKR_OK);
    firstSlotWithToken();
    EXPECT_EQ(C_Finalize(nullptr), CKR_OK);
    EXPECT_EQ(recorder.calls(), "C_Initialize,C_Initialize,C_GetSlotList,C_GetSlotList,C_Finalize");
}

TEST(ASEP11Recording, ReportsChosenCountsAndLengthsForTheNumberedCall) {
    SoftHsmToken token;
    ASEP11Recorder recorder;
    recorder.reset();
    recorder.report("C_GetSlotList", 1ul << 61, 2);
    ASSERT_EQ(C_Initialize(nullptr), CKR_OK);

    CK_ULONG tokens = 0;
    EXPECT_EQ(C_GetSlotList(CK_TRUE, nullptr, &tokens), CKR_OK);
    EXPECT_LT(tokens, 8u) << "the first call answers as the token does";
    CK_ULONG count = 0;
    EXPECT_EQ(C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    EXPECT_EQ(count, 1ul << 61);
    EXPECT_EQ(C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    EXPECT_EQ(count, tokens) << "each choice serves one call";

    CK_SESSION_HANDLE session = 0;
    ASSERT_EQ(C_OpenSession(firstSlotWithToken(), CKF_SERIAL_SESSION, nullptr, nullptr, &session),
              CKR_OK);
    CK_OBJECT_CLASS objectClass = 0;
    CK_BBOOL token_ = CK_FALSE;
    CK_ATTRIBUTE attributes[] = {{CKA_CLASS, &objectClass, 0}, {CKA_TOKEN, &token_, 0}};
    recorder.report("C_GetAttributeValue", 1ul << 62);
    // Not an object handle the token knows: the choice still applies.
    C_GetAttributeValue(session, 0, attributes, 2);
    EXPECT_EQ(attributes[0].ulValueLen, 1ul << 62);
    EXPECT_EQ(attributes[1].ulValueLen, 1ul << 62);
    EXPECT_EQ(C_CloseSession(session), CKR_OK);
    EXPECT_EQ(C_Finalize(nullptr), CKR_OK);
}

TEST(ASEP11Recording, ThrowsFromTheNextCallOfAFunction) {
    ASEP11Recorder recorder;
    recorder.reset();
    recorder.throwFrom("C_Finalize");
    EXPECT_THROW(C_Finalize(nullptr), std::bad_alloc);
    EXPECT_EQ(C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(recorder.calls(), "C_Finalize,C_Finalize");
}

} // namespace
