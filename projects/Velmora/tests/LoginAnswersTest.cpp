// The token's answers to the login as the page reads them in the PIN
// properties. The recording build of the token module stands in front of the
// SoftHSM2 token and answers C_Login as a card does where SoftHSM2 does not.
#include "ASEP11Recorder.h"
#include "PluginFixtures.h"

#include <pkcs11.h>

namespace {

const char* const engineModule = "Certificado VADOD";
const char* const refusedMessage = "Pin invalido para Certificado VADOD";

class LoginAnswers : public PluginOnToken {
protected:
    LoginAnswers() { recorder.reset(); }
    // An answer left unused must not reach the next test.
    ~LoginAnswers() override { recorder.reset(); }

    // Signs with no PIN stored, which leaves the engine's PIN module asking
    // for one.
    void signWithoutAPin() {
        EXPECT_EQ(sign(32), "");
        ASSERT_EQ(read<int>("lastError"), 11);
        ASSERT_TRUE(read<bool>("isPinMissing"));
        ASSERT_EQ(read<std::string>("pinModuleName"), engineModule);
    }

    ASEP11Recorder recorder;
};

struct LoginAnswer {
    const char* name;
    CK_RV rv;
    int code;
    // The PIN itself was refused: the page is asked for another.
    bool refused;
    const char* message;
};

void PrintTo(const LoginAnswer& row, std::ostream* out) {
    *out << row.name;
}

class LoginAnswerRows : public LoginAnswers, public ::testing::WithParamInterface<LoginAnswer> {};

TEST_P(LoginAnswerRows, SetThePinState) {
    const LoginAnswer& row = GetParam();
    signWithoutAPin();
    typePin("1234");
    recorder.inject("C_Login", row.rv);

    EXPECT_EQ(sign(32), "");

    EXPECT_EQ(read<int>("lastError"), row.code);
    EXPECT_EQ(read<long>("lastLowLevelError"), static_cast<long>(row.rv));
    EXPECT_EQ(read<std::string>("lastErrorMessage"), row.message);
    EXPECT_EQ(read<bool>("isPinInvalid"), row.refused);
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), row.refused ? engineModule : "");
    EXPECT_EQ(gPines.at(engineModule).invalid, row.refused);
    EXPECT_EQ(gPines.at(engineModule).retries, row.refused ? 1 : 0);
    EXPECT_EQ(read<int>("pinLength"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Login, LoginAnswerRows,
    ::testing::Values(LoginAnswer{"PinInvalid", CKR_PIN_INVALID, 5, true, refusedMessage},
                      LoginAnswer{"PinLenRange", CKR_PIN_LEN_RANGE, 5, true, refusedMessage},
                      // The PIN was right; only its time is over.
                      LoginAnswer{"PinExpired", CKR_PIN_EXPIRED, 12, false, "C_Login"}),
    [](const auto& info) { return std::string(info.param.name); });

// A card answers CKR_PIN_LEN_RANGE to a PIN longer than it takes. The page is
// asked for another PIN, and the one it types next is handed over and signs.
TEST_F(LoginAnswers, APinOfTheWrongLengthIsAskedForAgain) {
    signWithoutAPin();

    set("pin", std::string(40, '7'));
    recorder.inject("C_Login", CKR_PIN_LEN_RANGE);
    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 5);
    EXPECT_EQ(read<long>("lastLowLevelError"), 0xA2);
    EXPECT_EQ(read<std::string>("lastErrorMessage"), refusedMessage);
    EXPECT_TRUE(read<bool>("isPinInvalid"));
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), engineModule);
    EXPECT_EQ(read<int>("pinRetryCount"), 1);

    typePin("1234");
    const std::string signature = sign(32);
    expectValidSignature(keyPem, hash, signature, "sha256", token.folder());
    EXPECT_EQ(read<int>("lastError"), 0);
    EXPECT_FALSE(read<bool>("isPinInvalid"));
    EXPECT_FALSE(read<bool>("isPinMissing"));
    EXPECT_EQ(read<std::string>("pinModuleName"), "");
    EXPECT_EQ(read<int>("pinLength"), 0);
}

} // namespace
