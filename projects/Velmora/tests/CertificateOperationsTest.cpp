// The three certificate operations against a SoftHSM2 token, and the error
// state the page reads after each.
#include "PluginFixtures.h"

#include "JSExceptions.h"

#include <prerror.h>
#include <secerr.h>

namespace {

class CertificateOperations : public PluginOnToken {
protected:
    std::string listEntry() const {
        return "O=Velmora,CN=Firmante|O=Velmora,CN=Firmante|" + certId;
    }
    void expectNoError() {
        EXPECT_EQ(read<int>("lastError"), 0);
        EXPECT_FALSE(read<bool>("isPinMissing"));
        EXPECT_FALSE(read<bool>("isPinInvalid"));
        EXPECT_EQ(read<std::string>("pinModuleName"), "");
    }
};

TEST_F(CertificateOperations, ListsTheTokensSigningCertificates) {
    EXPECT_EQ(call("getDigitalSignatureCertificates").cast<std::string>(), listEntry());
    expectNoError();
    // The CA names do not filter the list.
    plugin->setParams(FB::VariantMap{{"CaSubjectNames", "CN=Other CA"}});
    EXPECT_EQ(call("getDigitalSignatureCertificates").cast<std::string>(), listEntry());
}

TEST_F(CertificateOperations, FetchesACertificateAsBase64) {
    const std::string certificate = call("getCertificate", {certId}).cast<std::string>();
    EXPECT_EQ(fromBase64(certificate), readFile(certificateDer));
    expectNoError();
    // The same engine serves the next call.
    EXPECT_EQ(fromBase64(call("getCertificate", {certId}).cast<std::string>()),
              readFile(certificateDer));
}

TEST_F(CertificateOperations, AnUnknownCertificateIsAnError) {
    EXPECT_EQ(call("getCertificate", {toBase64("other id")}).cast<std::string>(), "");
    EXPECT_EQ(read<int>("lastError"), 12);
    EXPECT_EQ(read<std::string>("lastErrorMessage"), "No se encontro el certificado");
}

struct HashCase {
    std::size_t length;
    const char* digest;
};

TEST_F(CertificateOperations, SignsHashesOfEachLengthWithTheTypedPin) {
    typePin("1234");
    EXPECT_EQ(sign(32), "");
    EXPECT_EQ(read<int>("lastError"), 11);

    for (const HashCase& hashCase :
         {HashCase{16, "md5"}, HashCase{20, "sha1"}, HashCase{32, "sha256"}}) {
        SCOPED_TRACE(hashCase.digest);
        const std::string signature = sign(hashCase.length);
        expectNoError();
        expectValidSignature(keyPem, hash, signature, hashCase.digest, token.folder());
    }
}

TEST_F(CertificateOperations, RefusesAHashOfAnotherLength) {
    set("pin", "1234");
    sign(32);
    for (std::size_t length : {0u, 15u, 33u, 64u}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(sign(length), "");
        EXPECT_EQ(read<int>("lastError"), 3);
    }
}

TEST_F(CertificateOperations, PassesTheIdentifierFirstAndTheHashSecond) {
    typePin("1234");
    sign(32);
    const std::string hash32 = toBase64(std::string(32, 'h'));

    EXPECT_EQ(call("signPkcs1", {hash32, certId}).cast<std::string>(), "");
    EXPECT_EQ(read<int>("lastError"), 3);
    EXPECT_NE(call("signPkcs1", {certId, hash32}).cast<std::string>(), "");
    EXPECT_EQ(read<int>("lastError"), 0);
}

// Only "lastError" tells a success: the engine keeps the low-level code and
// the message of the last failure.
TEST_F(CertificateOperations, ASuccessClearsOnlyTheErrorCode) {
    EXPECT_EQ(read<long>("lastLowLevelError"), 0);
    EXPECT_EQ(read<std::string>("lastErrorMessage"), "");
    typePin("9999");
    sign(32);
    sign(32);
    EXPECT_EQ(read<int>("lastError"), 5);
    EXPECT_EQ(read<long>("lastLowLevelError"), 0xA0); // CKR_PIN_INCORRECT
    EXPECT_EQ(read<std::string>("lastErrorMessage"), "Pin invalido para Certificado VADOD");

    typePin("1234");
    EXPECT_NE(sign(32), "");

    EXPECT_EQ(read<int>("lastError"), 0);
    EXPECT_EQ(read<long>("lastLowLevelError"), 0xA0);
    EXPECT_EQ(read<std::string>("lastErrorMessage"), "Pin invalido para Certificado VADOD");
}

// The engine keeps NSPR's negative codes in an unsigned long; the page reads
// them negative again.
TEST_F(CertificateOperations, ANegativeNsprCodeReachesThePageNegative) {
    sign(32);
    ASSERT_EQ(read<int>("lastError"), 11);
    // The PIN check that stops the next operation takes NSPR's code.
    PR_SetError(SEC_ERROR_BAD_DATA, 0);

    EXPECT_EQ(call("getCertificate", {certId}).cast<std::string>(), "");
    EXPECT_EQ(read<int>("lastError"), 11);
    EXPECT_EQ(read<long>("lastLowLevelError"), SEC_ERROR_BAD_DATA);
}

TEST_F(CertificateOperations, WithThePluginGoneOnlyTheListingFails) {
    typePin("1234");
    sign(32);
    ASSERT_EQ(read<int>("lastError"), 11);
    plugin.reset();

    EXPECT_THROW(call("getDigitalSignatureCertificates"), FB::script_error);
    EXPECT_EQ(read<int>("lastError"), 11);
    // The PIN was handed over before the plug-in was missed.
    EXPECT_EQ(read<int>("pinLength"), 0);
    EXPECT_EQ(fromBase64(call("getCertificate", {certId}).cast<std::string>()),
              readFile(certificateDer));
    EXPECT_NE(sign(20), "");
}

} // namespace
