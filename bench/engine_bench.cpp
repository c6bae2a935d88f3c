// One SHA-256 signature through the engine against the bare PKCS#11 cycle it
// wraps (the same calls in the same order), on the same module and key. The
// ratio of the two times is the engine's own overhead.
#include "DigitalSignatureUtilPkcs11.h"
#include "SoftHsmToken.h"
#include "TestCertificates.h"

#include <benchmark/benchmark.h>
#include <pkcs11.h>

#include <string>
#include <vector>

namespace {

const char* const kIdHex = "0a0b";
const char* const kIdBase64 = "Cgs=";
const std::string kHash(32, 'h');
const char* const kHashBase64 = "aGhoaGhoaGhoaGhoaGhoaGhoaGhoaGhoaGhoaGhoaGg=";
// DER DigestInfo header for SHA-256, followed by the 32 hash bytes.
const unsigned char kSha256DigestInfoHeader[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60,
                                                 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
                                                 0x01, 0x05, 0x00, 0x04, 0x20};

// A token of the benchmark's own with one certificate and its private key.
class SigningToken {
public:
    SigningToken() {
        std::string key = makeRsaKey(m_token.folder(), "signer");
        m_token.writeCertificate(makeCertificate(m_token.folder(), "signer", key), kIdHex);
        m_token.writePrivateKey(key, kIdHex);
    }
    const std::string& pin() const { return m_token.userPin(); }

private:
    SoftHsmToken m_token;
};

const SigningToken& signingToken() {
    static const SigningToken token;
    return token;
}

void BM_EngineSignPkcs1Base64(benchmark::State& state) {
    const SigningToken& token = signingToken();
    gPines.clear();
    DigitalSignatureUtilPkcs11 engine;
    engine.SetPin("Certificado VADOD", token.pin());
    for (auto _ : state) {
        std::string signature = engine.SignPkcs1Base64(kIdBase64, kHashBase64);
        if (signature.empty()) {
            state.SkipWithError(engine.LastErrorMessage().c_str());
            break;
        }
        benchmark::DoNotOptimize(signature);
    }
}

bool firstSlotWithToken(CK_SLOT_ID& slot) {
    CK_ULONG count = 0;
    if (C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0)
        return false;
    std::vector<CK_SLOT_ID> slots(count);
    if (C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK || count == 0)
        return false;
    slot = slots[0];
    return true;
}

bool findKey(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE& key) {
    CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
    unsigned char id[] = {0x0a, 0x0b};
    CK_ATTRIBUTE search[] = {{CKA_CLASS, &keyClass, sizeof keyClass}, {CKA_ID, id, sizeof id}};
    CK_ULONG found = 0;
    if (C_FindObjectsInit(session, search, 2) != CKR_OK)
        return false;
    CK_RV rv = C_FindObjects(session, &key, 1, &found);
    C_FindObjectsFinal(session);
    return rv == CKR_OK && found == 1;
}

// Login, key search, sign, logout.
bool signAsUser(CK_SESSION_HANDLE session, std::string pin, std::vector<unsigned char>& digestInfo,
                std::vector<unsigned char>& signature) {
    if (C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(&pin[0]), pin.size()) !=
        CKR_OK)
        return false;
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    CK_MECHANISM mechanism = {CKM_RSA_PKCS, nullptr, 0};
    CK_ULONG length = signature.size();
    bool signedHash =
        findKey(session, key) && C_SignInit(session, &mechanism, key) == CKR_OK &&
        C_Sign(session, digestInfo.data(), digestInfo.size(), signature.data(), &length) == CKR_OK;
    C_Logout(session);
    return signedHash;
}

// The engine's calls without the engine: initialise, first slot, session,
// sign as the user, close, finalise.
bool signWithBareCycle(const std::string& pin, std::vector<unsigned char>& digestInfo,
                       std::vector<unsigned char>& signature) {
    if (C_Initialize(nullptr) != CKR_OK)
        return false;
    CK_SLOT_ID slot = 0;
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    bool signedHash = false;
    if (firstSlotWithToken(slot) &&
        C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session) == CKR_OK) {
        signedHash = signAsUser(session, pin, digestInfo, signature);
        C_CloseSession(session);
    }
    C_Finalize(nullptr);
    return signedHash;
}

void BM_BarePkcs11Cycle(benchmark::State& state) {
    const SigningToken& token = signingToken();
    std::vector<unsigned char> digestInfo(std::begin(kSha256DigestInfoHeader),
                                          std::end(kSha256DigestInfoHeader));
    digestInfo.insert(digestInfo.end(), kHash.begin(), kHash.end());
    std::vector<unsigned char> signature(2048);
    for (auto _ : state) {
        if (!signWithBareCycle(token.pin(), digestInfo, signature)) {
            state.SkipWithError("bare PKCS#11 cycle failed");
            break;
        }
        benchmark::DoNotOptimize(signature.data());
    }
}

BENCHMARK(BM_BarePkcs11Cycle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineSignPkcs1Base64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
