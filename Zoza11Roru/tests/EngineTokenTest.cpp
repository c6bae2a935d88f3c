// The engine against a SoftHSM2 token: listing, retrieval, signing and the
// PIN paths.
#include "EngineTestSupport.h"

#include <gmock/gmock.h>
#include <nss.h>

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::HasSubstr;

namespace {

// --- listing

struct ListingCase {
    const char* name;
    CertificateProfile profile;
    const char* idHex;
    bool listed;
};

// Names the row in test listings.
void PrintTo(const ListingCase& row, std::ostream* out) {
    *out << row.name;
}

CertificateProfile withKeyUsage(const std::string& usage) {
    CertificateProfile profile;
    profile.keyUsage = usage;
    return profile;
}

CertificateProfile validFor(int notBeforeDays, int notAfterDays) {
    CertificateProfile profile;
    profile.notBeforeDays = notBeforeDays;
    profile.notAfterDays = notAfterDays;
    return profile;
}

class Listing : public EngineOnToken, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(Listing, ListsOnlyCertificatesFitForSigningNow) {
    const ListingCase& row = GetParam();
    addCertificate("only", row.idHex, row.profile, false);

    EXPECT_EQ(engine.ListCertificates(""), row.listed ? entryFor(row.idHex) : "");
    EXPECT_EQ(engine.LastError(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Listing,
    ::testing::Values(
        ListingCase{"Usable", CertificateProfile(), "0a0b", true},
        ListingCase{"NoKeyUsage", withKeyUsage(""), "0a0b", true},
        ListingCase{"DigitalSignatureOnly", withKeyUsage("digitalSignature"), "0a0b", false},
        ListingCase{"NonRepudiationOnly", withKeyUsage("nonRepudiation"), "0a0b", false},
        ListingCase{"Expired", validFor(-730, -365), "0a0b", false},
        ListingCase{"NotYetValid", validFor(365, 730), "0a0b", false},
        ListingCase{"EmptyId", CertificateProfile(), "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineOnToken, LeavesOutACertificateValueThatDoesNotDecode) {
    std::string der = makeCertificate(token.folder(), "trailing", key());
    // openssl and pkcs11-tool accept bytes after the certificate; NSS does not.
    writeFile(der, readFile(der) + std::string("\0\0", 2));
    token.writeCertificate(der, "0c");
    addCertificate("usable", "0a0b", {}, false);

    EXPECT_EQ(engine.ListCertificates(""), entryFor("0a0b"));
    EXPECT_EQ(engine.LastError(), 0);
}

TEST_F(EngineOnToken, ListsTwoUsableCertificatesAsSixFields) {
    addCertificate("first", "01", {}, false);
    addCertificate("second", "0203", {}, false);

    std::string first = entryFor("01");
    std::string second = entryFor("0203");
    EXPECT_THAT(engine.ListCertificates(""),
                AnyOf(Eq(first + "|" + second), Eq(second + "|" + first)));
    EXPECT_EQ(engine.LastError(), 0);
}

TEST_F(EngineOnToken, EmptyTokenListsNothing) {
    EXPECT_EQ(engine.ListCertificates("CN=Any CA"), "");
    EXPECT_EQ(engine.LastError(), 0);
}

TEST_F(EngineOnToken, ASeparatorInANameIsEscaped) {
    CertificateProfile profile;
    profile.subject = "/CN=Uno|Dos/O=Velmora";
    addCertificate("bar", "0a0b", profile, false);

    EXPECT_EQ(engine.ListCertificates(""),
              "O=Velmora,CN=Uno\\7cDos|O=Velmora,CN=Uno\\7cDos|" + toBase64(fromHex("0a0b")));
}

TEST_F(EngineOnToken, ListingNeedsNoPin) {
    addCertificate("only", "0a0b", {}, false);

    EXPECT_EQ(engine.ListCertificates(""), entryFor("0a0b"));
    EXPECT_TRUE(gPines.empty());
}

// --- retrieval

TEST_F(EngineOnToken, RetrievesTheDerCertificateOfAListedId) {
    std::string first = addCertificate("first", "0a0b", {}, false);
    std::string second = addCertificate("second", "0c", {}, false);
    std::string list = engine.ListCertificates("");
    std::string firstId = toBase64(fromHex("0a0b"));
    std::string secondId = toBase64(fromHex("0c"));
    ASSERT_THAT(list, HasSubstr("|" + firstId));
    ASSERT_THAT(list, HasSubstr("|" + secondId));

    std::string certificate = engine.GetCertificateBase64(firstId);
    EXPECT_EQ(engine.LastError(), 0);
    EXPECT_EQ(fromBase64(certificate), readFile(first));
    // NSS breaks its base64 into lines of 64 characters.
    EXPECT_EQ(certificate.substr(64, 2), "\r\n");

    EXPECT_EQ(fromBase64(engine.GetCertificateBase64(secondId)), readFile(second));
}

TEST_F(EngineOnToken, RetrievingAnUnknownIdFails) {
    addCertificate("only", "0a0b", {}, false);

    EXPECT_EQ(engine.GetCertificateBase64(toBase64("\x0d")), "");
    EXPECT_EQ(engine.LastError(), 12);
    EXPECT_EQ(engine.LastErrorMessage(), "No se encontro el certificado");
}

class BadCertificateId : public EngineOnToken, public ::testing::WithParamInterface<const char*> {};

// An id that decodes to nothing must not reach the certificate without id.
TEST_P(BadCertificateId, IsRefusedAndTheNextOperationWorks) {
    addCertificate("only", "0a0b", {}, false);
    addCertificate("without id", "", {}, false);

    EXPECT_EQ(engine.GetCertificateBase64(GetParam()), "");
    EXPECT_EQ(engine.LastError(), 12);
    EXPECT_EQ(engine.LastErrorMessage(), "Invalid cert id base64");
    EXPECT_EQ(engine.LastLowLevelError(), 0u);

    EXPECT_EQ(engine.ListCertificates(""), entryFor("0a0b"));
    EXPECT_EQ(engine.LastError(), 0);
    // Success leaves the last failure's message and low-level code.
    EXPECT_EQ(engine.LastErrorMessage(), "Invalid cert id base64");
}

// NSS decodes the last four to no byte at all.
const char* const kIdsNotBase64[] = {"not base64!", "====", "", "!!!!", "    ", "==", "\r\n"};

INSTANTIATE_TEST_SUITE_P(Texts, BadCertificateId, ::testing::ValuesIn(kIdsNotBase64));

// --- signing

struct HashCase {
    const char* name;
    const char* digest;
    size_t length;
    const char* digestInfoPrefixHex; // the standard DER DigestInfo before the hash
};

// Names the row in test listings.
void PrintTo(const HashCase& row, std::ostream* out) {
    *out << row.name;
}

class Signing : public EngineOnToken, public ::testing::WithParamInterface<HashCase> {};

TEST_P(Signing, SignatureVerifiesForTheDigestOfTheHashLength) {
    addCertificate("signer", "0a0b");
    engine.SetPin(kPinModule, token.userPin());
    std::string hash =
        runCommand(std::string("printf firmar | openssl dgst -binary -") + GetParam().digest);
    ASSERT_EQ(hash.size(), GetParam().length);

    std::string signature = engine.SignPkcs1Base64(toBase64(fromHex("0a0b")), toBase64(hash));

    EXPECT_EQ(engine.LastError(), 0) << engine.LastErrorMessage();
    EXPECT_EQ(fromBase64(signature).size(), 256u);
    expectValidSignature(key(), hash, signature, GetParam().digest, token.folder());
    EXPECT_EQ(recoverSignedBytes(key(), signature, token.folder()),
              fromHex(GetParam().digestInfoPrefixHex) + hash);
}

INSTANTIATE_TEST_SUITE_P(
    Digests, Signing,
    ::testing::Values(HashCase{"Md5", "md5", 16, "3020300c06082a864886f70d020505000410"},
                      HashCase{"Sha1", "sha1", 20, "3021300906052b0e03021a05000414"},
                      HashCase{"Sha256", "sha256", 32, "3031300d060960864801650304020105000420"}),
    [](const auto& info) { return std::string(info.param.name); });

class UnusableHash : public EngineOnToken, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnusableHash, IsRefusedWithCode3) {
    addCertificate("signer", "0a0b");
    engine.SetPin(kPinModule, token.userPin());

    EXPECT_EQ(engine.SignPkcs1Base64(toBase64(fromHex("0a0b")), GetParam()), "");
    EXPECT_EQ(engine.LastError(), 3);
}

INSTANTIATE_TEST_SUITE_P(Hashes, UnusableHash,
                         ::testing::Values(toBase64(std::string(0, 'h')),
                                           toBase64(std::string(15, 'h')),
                                           toBase64(std::string(21, 'h')),
                                           toBase64(std::string(48, 'h')),
                                           toBase64(std::string(64, 'h')), "not base64!"));

class UnusableSigningId : public EngineOnToken,
                          public ::testing::WithParamInterface<const char*> {};

// The key without id would sign for an id that decodes to nothing.
TEST_P(UnusableSigningId, IsRefusedWithCode3) {
    addCertificate("without id", "");
    engine.SetPin(kPinModule, token.userPin());

    EXPECT_EQ(engine.SignPkcs1Base64(GetParam(), toBase64(std::string(20, 'h'))), "");
    EXPECT_EQ(engine.LastError(), 3);
}

INSTANTIATE_TEST_SUITE_P(Texts, UnusableSigningId, ::testing::ValuesIn(kIdsNotBase64));

TEST_F(EngineOnToken, SigningWithoutAPrivateKeyFails) {
    addCertificate("certificate only", "0a0b", {}, false);
    engine.SetPin(kPinModule, token.userPin());

    EXPECT_EQ(sign(20), "");
    EXPECT_EQ(engine.LastError(), 3);
    EXPECT_EQ(engine.LastErrorMessage(), "No se encontro la clave privada del certificado");
}

// --- PIN paths

class PinPaths : public EngineOnToken {
protected:
    void SetUp() override {
        EngineOnToken::SetUp();
        addCertificate("signer", "0a0b");
    }
    PinInfoStruct entry() const { return gPines.at(kPinModule); }
};

TEST_F(PinPaths, AMissingPinFailsWith11AndStaysMissing) {
    EXPECT_EQ(sign(), "");
    EXPECT_EQ(engine.LastError(), 11);
    EXPECT_EQ(engine.LastErrorMessage(), "No se ha definido el pin para Certificado VADOD");
    EXPECT_THAT(engine.MissingPines(), ElementsAre(kPinModule));

    // Every operation, the listing included, now stops before the token.
    EXPECT_EQ(engine.ListCertificates(""), "");
    EXPECT_EQ(engine.LastError(), 11);
}

TEST_F(PinPaths, ARefusedPinFailsWith5AndIsCounted) {
    engine.SetPin(kPinModule, "0000");

    EXPECT_EQ(sign(), "");
    EXPECT_EQ(engine.LastError(), 5);
    EXPECT_EQ(engine.LastLowLevelError(), 0xA0u);
    EXPECT_EQ(engine.LastErrorMessage(), "Pin invalido para Certificado VADOD");
    EXPECT_THAT(engine.InvalidPines(), ElementsAre(kPinModule));
    EXPECT_EQ(engine.InvalidPinRetries(kPinModule), 1);
}

TEST_F(PinPaths, TypingTheRefusedPinAgainChangesNothing) {
    engine.SetPin(kPinModule, "0000");
    sign();
    engine.SetPin(kPinModule, "0000");

    EXPECT_EQ(sign(), "");
    EXPECT_EQ(engine.LastError(), 5);
    EXPECT_TRUE(entry().invalid);
    EXPECT_EQ(entry().retries, 1);
}

TEST_F(PinPaths, ADifferentPinClearsTheMarkAndKeepsTheCount) {
    engine.SetPin(kPinModule, "0000");
    sign();
    engine.SetPin(kPinModule, "1111");
    sign();
    EXPECT_EQ(entry().retries, 2);

    engine.SetPin(kPinModule, token.userPin());
    EXPECT_FALSE(entry().invalid);

    EXPECT_NE(sign(), "");
    EXPECT_EQ(engine.LastError(), 0);
    EXPECT_EQ(entry().retries, 2);
    EXPECT_FALSE(engine.InvalidPin());
}

TEST_F(PinPaths, AfterClearPinTheNextLoginFindsNoPin) {
    engine.SetPin(kPinModule, "0000");
    sign();

    engine.ClearPin();
    EXPECT_TRUE(gPines.empty());

    EXPECT_EQ(sign(), "");
    EXPECT_EQ(engine.LastError(), 11);
}

// --- NSS shared by engines

// Engines made by the test itself, in a process where no other engine lives.
class EngineNss : public EmptyPinStore {
protected:
    void SetUp() override {
        EmptyPinStore::SetUp();
        ASSERT_FALSE(NSS_IsInitialized());
        // Without a subject key identifier the decoder hashes the public key,
        // which needs NSS: the listing shows whether NSS still runs.
        const std::string key = makeRsaKey(token.folder(), "signer");
        token.writeCertificate(makeCertificate(token.folder(), "signer", key), "0a0b");
    }

    const std::string entry = "O=Velmora,CN=Firmante|O=Velmora,CN=Firmante|Cgs=";
    SoftHsmToken token;
};

TEST_F(EngineNss, DeletingTheEngineThatStartedNssLeavesItToTheOther) {
    auto first = std::make_unique<DigitalSignatureUtilPkcs11>();
    DigitalSignatureUtilPkcs11 second;
    EXPECT_TRUE(second.IsInitialized());

    first.reset();
    EXPECT_FALSE(second.NeedConfigDir());
    EXPECT_EQ(second.ListCertificates(""), entry);
    EXPECT_EQ(second.LastError(), 0);
}

TEST_F(EngineNss, TheLastEngineToGoShutsNssDown) {
    auto first = std::make_unique<DigitalSignatureUtilPkcs11>();
    auto second = std::make_unique<DigitalSignatureUtilPkcs11>();
    second.reset();
    EXPECT_EQ(first->ListCertificates(""), entry);
    first.reset();
    EXPECT_FALSE(NSS_IsInitialized());
}

TEST(EngineNssStarted, AnEngineFindingNssRunningLeavesItRunning) {
    DigitalSignatureUtilPkcs11 owner;
    { DigitalSignatureUtilPkcs11 visitor; }
    EXPECT_FALSE(owner.NeedConfigDir());
}

} // namespace
