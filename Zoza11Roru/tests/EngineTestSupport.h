// What the engine's tests share: a token of their own with certificates and
// keys made by openssl, an engine, and base64 done independently of NSS.
#pragma once

#include "DigitalSignatureUtilPkcs11.h"
#include "SoftHsmToken.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>

#include <string>

extern const char* const kPinModule;

std::string toBase64(const std::string& bytes);
// Decodes base64, skipping line breaks.
std::string fromBase64(const std::string& text);
std::string fromHex(const std::string& hex);

// The PIN store is process-wide: every test starts and ends with it empty.
class EmptyPinStore : public ::testing::Test {
protected:
    void SetUp() override { gPines.clear(); }
    void TearDown() override { gPines.clear(); }
};

class EngineOnToken : public EmptyPinStore {
protected:
    // Writes a certificate for the profile under the hex id (none when
    // empty), with the private key too when asked; returns the DER's path.
    std::string addCertificate(const std::string& name, const std::string& idHex,
                               const CertificateProfile& profile = {}, bool withKey = true);
    // The list entry of a self-signed certificate of the default profile.
    static std::string entryFor(const std::string& idHex);
    const std::string& key();
    // Signs a hash of that many bytes with the key under the id 0a0b.
    std::string sign(size_t hashLength = 32);

    SoftHsmToken token;
    DigitalSignatureUtilPkcs11 engine;

private:
    std::string m_key;
};

// Verifies a PKCS#1 signature of `hash` with openssl, for the digest named;
// throws std::runtime_error with openssl's output when it does not verify.
void verifySignature(const std::string& keyPem, const std::string& hash,
                     const std::string& signatureBase64, const std::string& digest,
                     const std::string& folder);
// The same as a test expectation.
void expectValidSignature(const std::string& keyPem, const std::string& hash,
                          const std::string& signatureBase64, const std::string& digest,
                          const std::string& folder);
// The bytes a PKCS#1 signature carries (the DigestInfo), recovered by openssl.
std::string recoverSignedBytes(const std::string& keyPem, const std::string& signatureBase64,
                               const std::string& folder);
