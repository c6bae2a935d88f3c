// The PKCS#11 calls of every path, seen through the recording build of the
// token module: each operation that initialised the module finalises it, and
// each session it opened is closed.
#include "ASEP11Recorder.h"
#include "EngineTestSupport.h"

#include <gmock/gmock.h>
#include <pkcs11.h>
#include <prerror.h>
#include <secerr.h>

#include <functional>

namespace {

const char* const kOpen = "C_Initialize,C_GetSlotList,C_GetSlotList,C_OpenSession";
const char* const kClose = "C_CloseSession,C_Finalize";

std::string calls(std::initializer_list<const char*> parts) {
    std::string joined;
    for (const char* part : parts)
        joined += (joined.empty() ? "" : ",") + std::string(part);
    return joined;
}

class EngineCalls : public EngineOnToken {
protected:
    void SetUp() override {
        EngineOnToken::SetUp();
        addCertificate("signer", "0a0b");
        recorder.reset();
    }

    ASEP11Recorder recorder;
};

TEST_F(EngineCalls, Listing) {
    EXPECT_EQ(engine.ListCertificates(""), entryFor("0a0b"));
    EXPECT_EQ(recorder.calls(),
              calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue",
                     "C_GetAttributeValue,C_FindObjects,C_FindObjectsFinal", kClose}));
}

TEST_F(EngineCalls, Retrieval) {
    EXPECT_NE(engine.GetCertificateBase64(toBase64(fromHex("0a0b"))), "");
    EXPECT_EQ(recorder.calls(), calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue",
                                       "C_GetAttributeValue,C_FindObjectsFinal", kClose}));
}

TEST_F(EngineCalls, RetrievalOfAnIdThatIsNotBase64) {
    EXPECT_EQ(engine.GetCertificateBase64("not base64!"), "");
    EXPECT_EQ(recorder.calls(), calls({kOpen, kClose}));
}

TEST_F(EngineCalls, SigningFinishesTheKeySearchBeforeSigning) {
    engine.SetPin(kPinModule, token.userPin());
    EXPECT_NE(sign(), "");
    EXPECT_EQ(recorder.calls(),
              calls({kOpen, "C_Login,C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal",
                     "C_SignInit,C_Sign,C_Logout", kClose}));
}

TEST_F(EngineCalls, SigningAHashOfAnotherLengthLogsInAndOut) {
    engine.SetPin(kPinModule, token.userPin());
    EXPECT_EQ(sign(48), "");
    EXPECT_EQ(engine.LastError(), 3);
    EXPECT_EQ(recorder.calls(), calls({kOpen, "C_Login,C_Logout", kClose}));
}

TEST_F(EngineCalls, SigningWithoutAKeyFinishesTheSearch) {
    engine.SetPin(kPinModule, token.userPin());
    EXPECT_EQ(engine.SignPkcs1Base64(toBase64("\x0d"), toBase64(std::string(20, 'h'))), "");
    EXPECT_EQ(engine.LastError(), 3);
    EXPECT_EQ(recorder.calls(),
              calls({kOpen, "C_Login,C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal",
                     "C_Logout", kClose}));
}

TEST_F(EngineCalls, AMissingPinLogsInNowhereAndTheNextOperationTouchesNoToken) {
    EXPECT_EQ(sign(), "");
    EXPECT_EQ(recorder.calls(), calls({kOpen, kClose}));

    recorder.reset();
    EXPECT_EQ(engine.ListCertificates(""), "");
    EXPECT_EQ(engine.LastError(), 11);
    EXPECT_EQ(recorder.calls(), "");
}

TEST_F(EngineCalls, TheRefusedPinTypedAgainIsNotTriedAgain) {
    engine.SetPin(kPinModule, "0000");
    sign();
    engine.SetPin(kPinModule, "0000");
    recorder.reset();

    EXPECT_EQ(sign(), "");
    EXPECT_EQ(engine.LastError(), 5);
    EXPECT_EQ(recorder.calls(), "");
    EXPECT_EQ(engine.InvalidPinRetries(kPinModule), 1);
}

TEST_F(EngineCalls, ThePinPreCheckTakesNsprsErrorState) {
    gPines["Otro modulo"] = PinInfoStruct("", false, 0);
    PR_SetError(SEC_ERROR_BAD_DATA, 0);
    PR_SetErrorText(5, "texto");

    EXPECT_EQ(engine.ListCertificates(""), "");
    EXPECT_EQ(engine.LastError(), 11);
    EXPECT_EQ(static_cast<long>(engine.LastLowLevelError()), SEC_ERROR_BAD_DATA);
    EXPECT_EQ(engine.LastErrorMessage(), "texto");

    // A refused PIN anywhere takes precedence over a missing one.
    gPines["Un modulo"] = PinInfoStruct("9", true, 0);
    engine.ListCertificates("");
    EXPECT_EQ(engine.LastError(), 5);
    EXPECT_EQ(recorder.calls(), "");
}

TEST_F(EngineCalls, SetErrorInfoKeepsCode3AndTakesNsprsCode) {
    engine.SetPin(kPinModule, token.userPin());
    PR_SetError(SEC_ERROR_INVALID_ARGS, 0);
    PR_SetErrorText(5, "texto");
    sign(64);
    EXPECT_EQ(engine.LastError(), 3);
    EXPECT_EQ(static_cast<long>(engine.LastLowLevelError()), SEC_ERROR_INVALID_ARGS);
    EXPECT_EQ(engine.LastErrorMessage(), "texto");
}

// --- injected failures

enum class Operation { List, Retrieve, Sign };

struct InjectedFailure {
    const char* name;
    Operation operation;
    const char* function;
    unsigned long rv;
    int code;
    const char* message;
    std::string calls;
};

// Names the row in test listings.
void PrintTo(const InjectedFailure& row, std::ostream* out) {
    *out << row.name;
}

class OperationCalls : public EngineCalls {
protected:
    std::string run(Operation operation) {
        switch (operation) {
        case Operation::List:
            return engine.ListCertificates("");
        case Operation::Retrieve:
            return engine.GetCertificateBase64(toBase64(fromHex("0a0b")));
        case Operation::Sign:
            return sign();
        }
        return "";
    }
};

class InjectedFailures : public OperationCalls,
                         public ::testing::WithParamInterface<InjectedFailure> {};

TEST_P(InjectedFailures, FailWithTheCallsContextAndCleanUp) {
    const InjectedFailure& row = GetParam();
    engine.SetPin(kPinModule, token.userPin());
    recorder.inject(row.function, row.rv);

    EXPECT_EQ(run(row.operation), "");
    EXPECT_EQ(engine.LastError(), row.code);
    EXPECT_EQ(engine.LastLowLevelError(), row.rv);
    EXPECT_EQ(engine.LastErrorMessage(), row.message);
    EXPECT_EQ(recorder.calls(), row.calls);

    // The module was left finalised: the same operation now works.
    if (row.code == 5)
        engine.SetPin(kPinModule, "");
    engine.SetPin(kPinModule, token.userPin());
    EXPECT_NE(run(row.operation), "");
    EXPECT_EQ(engine.LastError(), 0);
}

const std::string kLogin = calls({kOpen, "C_Login"});

INSTANTIATE_TEST_SUITE_P(
    Calls, InjectedFailures,
    ::testing::Values(
        InjectedFailure{"InitializeAlreadyDone", Operation::List, "C_Initialize",
                        CKR_CRYPTOKI_ALREADY_INITIALIZED, 12, "C_Initialize failed",
                        "C_Initialize"},
        InjectedFailure{"SlotList", Operation::Sign, "C_GetSlotList", CKR_GENERAL_ERROR, 12,
                        "get slot list", "C_Initialize,C_GetSlotList,C_Finalize"},
        InjectedFailure{"OpenSession", Operation::Retrieve, "C_OpenSession", CKR_SLOT_ID_INVALID,
                        12, "open session", calls({kOpen, "C_Finalize"})},
        InjectedFailure{"OpenSessionPinIncorrect", Operation::List, "C_OpenSession",
                        CKR_PIN_INCORRECT, 5, "open session", calls({kOpen, "C_Finalize"})},
        InjectedFailure{"LoginPinLocked", Operation::Sign, "C_Login", CKR_PIN_LOCKED, 5,
                        "Pin invalido para Certificado VADOD", calls({kLogin.c_str(), kClose})},
        InjectedFailure{"LoginPinLenRange", Operation::Sign, "C_Login", CKR_PIN_LEN_RANGE, 5,
                        "Pin invalido para Certificado VADOD", calls({kLogin.c_str(), kClose})},
        InjectedFailure{"LoginPinInvalid", Operation::Sign, "C_Login", CKR_PIN_INVALID, 5,
                        "Pin invalido para Certificado VADOD", calls({kLogin.c_str(), kClose})},
        InjectedFailure{"LoginPinExpired", Operation::Sign, "C_Login", CKR_PIN_EXPIRED, 12,
                        "C_Login", calls({kLogin.c_str(), kClose})},
        InjectedFailure{"ListingSearchInit", Operation::List, "C_FindObjectsInit", CKR_DEVICE_ERROR,
                        12, "Find objects init",
                        calls({kOpen, "C_FindObjectsInit,C_FindObjectsFinal", kClose})},
        InjectedFailure{"RetrievalSearchInit", Operation::Retrieve, "C_FindObjectsInit",
                        CKR_DEVICE_ERROR, 12, "Find objects init",
                        calls({kOpen, "C_FindObjectsInit", kClose})},
        InjectedFailure{"SigningSearchInit", Operation::Sign, "C_FindObjectsInit", CKR_DEVICE_ERROR,
                        12, "Find objects init",
                        calls({kLogin.c_str(), "C_FindObjectsInit,C_Logout", kClose})},
        InjectedFailure{
            "ListingSearch", Operation::List, "C_FindObjects", CKR_DEVICE_ERROR, 12,
            "Find first object",
            calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal", kClose})},
        InjectedFailure{
            "RetrievalSearch", Operation::Retrieve, "C_FindObjects", CKR_DEVICE_ERROR, 12,
            "Find first object",
            calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal", kClose})},
        InjectedFailure{
            "SigningSearch", Operation::Sign, "C_FindObjects", CKR_PIN_INCORRECT, 5,
            "Find first object",
            calls({kLogin.c_str(), "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal,C_Logout",
                   kClose})},
        InjectedFailure{"ListingAttributes", Operation::List, "C_GetAttributeValue",
                        CKR_DEVICE_ERROR, 12, "get attribute value",
                        calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue",
                               "C_FindObjects,C_FindObjectsFinal", kClose})},
        InjectedFailure{"RetrievalAttributes", Operation::Retrieve, "C_GetAttributeValue",
                        CKR_DEVICE_ERROR, 12, "get attribute value",
                        calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue",
                               "C_FindObjectsFinal", kClose})},
        InjectedFailure{
            "SignInit",
            Operation::Sign, "C_SignInit", CKR_KEY_TYPE_INCONSISTENT, 12, "sign init new",
            calls({kLogin.c_str(), "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal,C_SignInit",
                   "C_Logout", kClose})},
        InjectedFailure{
            "Sign", Operation::Sign, "C_Sign", CKR_DEVICE_ERROR, 12, "sign final",
            calls({kLogin.c_str(), "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal,C_SignInit",
                   "C_Sign,C_Logout", kClose})}),
    [](const auto& info) { return std::string(info.param.name); });

// --- answers of a broken or hostile token

// Sets up the recording module's answer for one row.
typedef std::function<void(const ASEP11Recorder&)> Arrangement;

struct BrokenAnswer {
    const char* name;
    Operation operation;
    Arrangement arrange;
    const char* message;
    std::string calls;
};

void PrintTo(const BrokenAnswer& row, std::ostream* out) {
    *out << row.name;
}

Arrangement reporting(const char* function, unsigned long size, unsigned long call = 1) {
    return [=](const ASEP11Recorder& recorder) { recorder.report(function, size, call); };
}

Arrangement throwingFrom(const char* function) {
    return [=](const ASEP11Recorder& recorder) { recorder.throwFrom(function); };
}

class BrokenAnswers : public OperationCalls, public ::testing::WithParamInterface<BrokenAnswer> {};

// A count or length beyond reason, and an exception out of the module, end
// the operation with code 12; the cycle still ends in order, so the next
// operation works.
TEST_P(BrokenAnswers, FailWith12AndEndTheCycle) {
    const BrokenAnswer& row = GetParam();
    engine.SetPin(kPinModule, token.userPin());
    row.arrange(recorder);

    EXPECT_EQ(run(row.operation), "");
    EXPECT_EQ(engine.LastError(), 12);
    EXPECT_EQ(engine.LastLowLevelError(), 0u);
    EXPECT_EQ(engine.LastErrorMessage(), row.message);
    EXPECT_EQ(recorder.calls(), row.calls);

    EXPECT_NE(run(row.operation), "");
    EXPECT_EQ(engine.LastError(), 0);
}

const std::string kSigned =
    calls({kLogin.c_str(), "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal,C_SignInit",
           "C_Sign,C_Logout", kClose});
const std::string kRetrievalRead =
    calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue"});

INSTANTIATE_TEST_SUITE_P(
    Answers, BrokenAnswers,
    ::testing::Values(
        BrokenAnswer{"NoSlot", Operation::Retrieve, reporting("C_GetSlotList", 0),
                     "No se encontro ningun slot", "C_Initialize,C_GetSlotList,C_Finalize"},
        BrokenAnswer{"HugeSlotCount", Operation::List, reporting("C_GetSlotList", 1ul << 61),
                     "get slot list", "C_Initialize,C_GetSlotList,C_Finalize"},
        BrokenAnswer{"SlotListLongerThanItsBuffer", Operation::Sign,
                     reporting("C_GetSlotList", 64, 2), "get slot list",
                     "C_Initialize,C_GetSlotList,C_GetSlotList,C_Finalize"},
        BrokenAnswer{"HugeAttributeLength", Operation::Retrieve,
                     reporting("C_GetAttributeValue", 1ul << 62), "get attribute value",
                     calls({kRetrievalRead.c_str(), "C_FindObjectsFinal", kClose})},
        BrokenAnswer{"UnavailableAttributeLength", Operation::List,
                     reporting("C_GetAttributeValue", CK_UNAVAILABLE_INFORMATION),
                     "get attribute value",
                     calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue",
                            "C_FindObjects,C_FindObjectsFinal", kClose})},
        BrokenAnswer{
            "AttributeLongerThanItsBuffer", Operation::Retrieve,
            reporting("C_GetAttributeValue", 1ul << 16, 2), "get attribute value",
            calls({kRetrievalRead.c_str(), "C_GetAttributeValue,C_FindObjectsFinal", kClose})},
        BrokenAnswer{"EmptySignature", Operation::Sign, reporting("C_Sign", 0), "sign final",
                     kSigned},
        BrokenAnswer{"SignatureLongerThanItsBuffer", Operation::Sign, reporting("C_Sign", 4096),
                     "sign final", kSigned},
        BrokenAnswer{"ThrowingSlotList", Operation::Retrieve, throwingFrom("C_GetSlotList"),
                     "std::bad_alloc", "C_Initialize,C_GetSlotList,C_Finalize"},
        BrokenAnswer{"ThrowingLogin", Operation::Sign, throwingFrom("C_Login"), "std::bad_alloc",
                     calls({kLogin.c_str(), kClose})},
        BrokenAnswer{"ThrowingAttributeRead", Operation::List, throwingFrom("C_GetAttributeValue"),
                     "std::bad_alloc",
                     calls({kOpen, "C_FindObjectsInit,C_FindObjects,C_GetAttributeValue",
                            "C_FindObjectsFinal", kClose})},
        BrokenAnswer{"ThrowingKeySearch", Operation::Sign, throwingFrom("C_FindObjects"),
                     "std::bad_alloc",
                     calls({kLogin.c_str(), "C_FindObjectsInit,C_FindObjects,C_FindObjectsFinal",
                            "C_Logout", kClose})},
        BrokenAnswer{"ThrowingSign", Operation::Sign, throwingFrom("C_Sign"), "std::bad_alloc",
                     kSigned}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineCalls, AnAttributeTooLongSkipsOnlyThatCertificate) {
    addCertificate("second", "0c", {}, false);
    recorder.report("C_GetAttributeValue", 1ul << 62);

    std::string list = engine.ListCertificates("");

    EXPECT_TRUE(list == entryFor("0a0b") || list == entryFor("0c")) << list;
    EXPECT_EQ(engine.LastError(), 12);
    EXPECT_EQ(engine.LastErrorMessage(), "get attribute value");
}

TEST_F(EngineCalls, AFailingAttributeReadSkipsOnlyThatCertificate) {
    addCertificate("second", "0c", {}, false);
    recorder.inject("C_GetAttributeValue", CKR_DEVICE_ERROR);

    std::string list = engine.ListCertificates("");

    EXPECT_TRUE(list == entryFor("0a0b") || list == entryFor("0c")) << list;
    EXPECT_EQ(engine.LastError(), 12);
    EXPECT_EQ(engine.LastErrorMessage(), "get attribute value");
}

// --- a search that never ends

struct EndlessSearch {
    const char* name;
    ASEP11Recorder::EndlessSearch mode;
    // The low-level code the listing leaves: the last one the token gave.
    unsigned long lowLevelError;
};

void PrintTo(const EndlessSearch& row, std::ostream* out) {
    *out << row.name;
}

class EndlessSearches : public EngineCalls, public ::testing::WithParamInterface<EndlessSearch> {};

// The listing stops at an object the search returned already, or after more
// objects than a token holds, keeping what it listed before; the search is
// still finished and the cycle ends in order.
TEST_P(EndlessSearches, EndTheListingWith12) {
    const EndlessSearch& row = GetParam();
    recorder.searchNeverEnds(row.mode);

    const std::string list = engine.ListCertificates("");
    ASSERT_LT(recorder.madeUpAnswers(), 10000u) << "the listing followed the search too long";
    EXPECT_EQ(list, entryFor("0a0b"));
    EXPECT_EQ(engine.LastError(), 12);
    EXPECT_EQ(engine.LastErrorMessage(), "Find other objects");
    EXPECT_EQ(engine.LastLowLevelError(), row.lowLevelError);
    EXPECT_THAT(recorder.calls(),
                ::testing::EndsWith(calls({"C_FindObjects,C_FindObjectsFinal", kClose})));

    recorder.reset();
    EXPECT_EQ(engine.ListCertificates(""), entryFor("0a0b"));
    EXPECT_EQ(engine.LastError(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Searches, EndlessSearches,
    ::testing::Values(EndlessSearch{"RepeatingItsLastObject",
                                    ASEP11Recorder::EndlessSearch::RepeatLast, 0},
                      EndlessSearch{"GivingNewHandles", ASEP11Recorder::EndlessSearch::NewHandles,
                                    CKR_OBJECT_HANDLE_INVALID}),
    [](const auto& info) { return std::string(info.param.name); });

// Retrieval and signing read only the first object a search gives.
TEST_F(EngineCalls, RetrievalAndSigningReadOneObjectOfAnEndlessSearch) {
    recorder.searchNeverEnds(ASEP11Recorder::EndlessSearch::NewHandles);
    engine.SetPin(kPinModule, token.userPin());

    EXPECT_NE(engine.GetCertificateBase64(toBase64(fromHex("0a0b"))), "");
    expectValidSignature(key(), std::string(32, 'h'), sign(), "sha256", token.folder());
    EXPECT_EQ(engine.LastError(), 0);
    EXPECT_EQ(recorder.madeUpAnswers(), 0u);
}

// --- slot ids and session handles of all ones

struct ShownHandle {
    const char* name;
    void (ASEP11Recorder::*show)(unsigned long) const;
};

void PrintTo(const ShownHandle& row, std::ostream* out) {
    *out << row.name;
}

class AllOnesHandles : public EngineCalls, public ::testing::WithParamInterface<ShownHandle> {};

// Any value is a slot id, and any but 0 a session handle: a token that gives
// ~0 works like any other.
TEST_P(AllOnesHandles, ListRetrieveAndSign) {
    (recorder.*GetParam().show)(~0ul);
    engine.SetPin(kPinModule, token.userPin());

    EXPECT_EQ(engine.ListCertificates(""), entryFor("0a0b"));
    EXPECT_EQ(engine.LastError(), 0);
    EXPECT_NE(engine.GetCertificateBase64(toBase64(fromHex("0a0b"))), "");
    EXPECT_EQ(engine.LastError(), 0);
    expectValidSignature(key(), std::string(32, 'h'), sign(), "sha256", token.folder());
    EXPECT_EQ(engine.LastError(), 0);
}

INSTANTIATE_TEST_SUITE_P(Handles, AllOnesHandles,
                         ::testing::Values(ShownHandle{"SlotId", &ASEP11Recorder::showSlotAs},
                                           ShownHandle{"SessionHandle",
                                                       &ASEP11Recorder::showSessionAs}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
