// The engine's own certificate decoder.
#include "DigitalSignatureUtilPkcs11.h"
#include "SoftHsmToken.h"
#include "TestCertificates.h"

#include <cert.h>
#include <gtest/gtest.h>

#include <memory>

using namespace std::string_literals;

namespace {

struct CertificateDeleter {
    void operator()(CERTCertificate* cert) const { CERT_DestroyCertificate(cert); }
};
typedef std::unique_ptr<CERTCertificate, CertificateDeleter> CertificatePtr;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The e-mail addresses as stored: each followed by a NUL, then one more NUL.
std::string emailBytes(const CERTCertificate& cert) {
    if (!cert.emailAddr)
        return "(null)";
    std::string bytes;
    for (const char* c = cert.emailAddr; !bytes.empty() || *c; ++c) {
        bytes += *c;
        if (!*c && !c[1])
            return bytes + '\0';
    }
    return bytes;
}

std::string asString(const SECItem& item) {
    return std::string(reinterpret_cast<const char*>(item.data), item.len);
}

CertificateProfile withExtensions(const std::string& extensions) {
    CertificateProfile profile;
    profile.extensions = extensions;
    return profile;
}

class Decoder : public ::testing::Test {
protected:
    // A certificate made with openssl for the profile, as DER bytes.
    std::string certificate(const CertificateProfile& profile = {}) {
        if (m_key.empty())
            m_key = makeRsaKey(m_files.folder(), "key");
        return readFile(
            makeCertificate(m_files.folder(), "cert" + std::to_string(++m_count), m_key, profile));
    }

    CertificatePtr decode(std::string& der, PRBool copy = PR_TRUE,
                          const char* nickname = "Certificado") {
        SECItem item = {siBuffer, reinterpret_cast<unsigned char*>(&der[0]),
                        static_cast<unsigned int>(der.size())};
        std::string name = nickname ? nickname : "";
        return CertificatePtr(
            CERT_DecodeDERCertificate(&item, copy, nickname ? &name[0] : nullptr));
    }

    // Makes a certificate for the profile and decodes a copy of its DER.
    CertificatePtr decodeNew(const CertificateProfile& profile) {
        std::string der = certificate(profile);
        return decode(der);
    }

    DigitalSignatureUtilPkcs11 engine; // brings NSS up
    SoftHsmToken m_files;
    std::string m_key;
    int m_count = 0;
};

TEST_F(Decoder, FillsTheCertificateFromACopyOfTheDer) {
    std::string der = certificate();
    CertificatePtr cert = decode(der);
    ASSERT_TRUE(cert);

    EXPECT_EQ(asString(cert->derCert), der);
    EXPECT_NE(cert->derCert.data, reinterpret_cast<unsigned char*>(&der[0]));
    EXPECT_STREQ(cert->nickname, "Certificado");
    EXPECT_STREQ(cert->subjectName, "O=Velmora,CN=Firmante");
    EXPECT_STREQ(cert->issuerName, "O=Velmora,CN=Firmante");
    std::unique_ptr<char, decltype(&PORT_Free)> subject(CERT_NameToAscii(&cert->subject),
                                                        PORT_Free);
    EXPECT_STREQ(cert->subjectName, subject.get());
    EXPECT_EQ(CERT_CheckCertValidTimes(cert.get(), PR_Now(), PR_FALSE), secCertTimeValid);
    EXPECT_EQ(cert->referenceCount, 1);
    EXPECT_FALSE(cert->isRoot);
    EXPECT_FALSE(cert->keyIDGenerated);
    EXPECT_EQ(cert->slot, nullptr);
    EXPECT_EQ(cert->dbnickname, nullptr);
    EXPECT_EQ(cert->emailAddr, nullptr);
}

TEST_F(Decoder, WithoutCopyingKeepsTheCallersBytes) {
    std::string der = certificate();
    CertificatePtr cert = decode(der, PR_FALSE, nullptr);
    ASSERT_TRUE(cert);

    EXPECT_EQ(cert->derCert.data, reinterpret_cast<unsigned char*>(&der[0]));
    EXPECT_EQ(cert->nickname, nullptr);
}

TEST_F(Decoder, ReadsTheFirstByteOfTheKeyUsage) {
    struct Case {
        std::string usage;
        unsigned int keyUsage;
        bool present;
    };
    for (const Case& row :
         std::vector<Case>{{"", 0xFF, false},
                           {"critical,digitalSignature,nonRepudiation", 0xC0, true},
                           {"digitalSignature", 0x80, true},
                           {"keyEncipherment,dataEncipherment", 0x30, true}}) {
        CertificateProfile profile;
        profile.keyUsage = row.usage;
        CertificatePtr cert = decodeNew(profile);
        ASSERT_TRUE(cert) << row.usage;
        EXPECT_EQ(cert->keyUsage, row.keyUsage) << row.usage;
        EXPECT_EQ(cert->rawKeyUsage, row.keyUsage) << row.usage;
        EXPECT_EQ(bool(cert->keyUsagePresent), row.present) << row.usage;
    }
}

TEST_F(Decoder, TakesTheSubjectKeyIdentifierFromItsExtension) {
    CertificatePtr cert = decodeNew(withExtensions("subjectKeyIdentifier = 0102030405"));
    ASSERT_TRUE(cert);

    EXPECT_EQ(asString(cert->subjectKeyID), std::string("\x01\x02\x03\x04\x05"));
}

TEST_F(Decoder, WithoutTheExtensionHashesThePublicKeyInfo) {
    CertificatePtr cert =
        decodeNew(withExtensions("subjectKeyIdentifier = none\nauthorityKeyIdentifier = none"));
    ASSERT_TRUE(cert);

    std::string expected = runCommand("openssl pkey -in '" + m_key +
                                      "' -pubout -outform DER | openssl dgst -sha1 -binary");
    EXPECT_EQ(asString(cert->subjectKeyID), expected);
    EXPECT_FALSE(cert->keyIDGenerated);
}

TEST_F(Decoder, BytesThatAreNoCertificateGiveNull) {
    std::string valid = certificate();
    for (std::string bytes : {std::string("not a certificate"), valid.substr(0, valid.size() / 2),
                              valid + std::string(2, '\0'), std::string(1, '\x30')}) {
        EXPECT_FALSE(decode(bytes)) << bytes.size();
    }
}

TEST_F(Decoder, CollectsTheEmailAddressesInLowerCase) {
    struct Case {
        std::string subject;
        std::string extensions;
        std::string addresses;
    };
    for (const Case& row : std::vector<Case>{
             {"/CN=A/emailAddress=Mixed@Case.ORG", "", "mixed@case.org\0\0"s},
             {"/CN=A/emailAddress=Mixed@Case.ORG", "subjectAltName = email:Mixed@Case.ORG",
              "mixed@case.org\0mixed@case.org\0\0"s},
             {"/CN=A/mail=Second@X.org/emailAddress=First@X.org", "",
              "first@x.org\0second@x.org\0\0"s},
             {"/CN=A", "subjectAltName = DNS:x.org,email:Alt@X.org", "alt@x.org\0\0"s}}) {
        CertificateProfile profile = withExtensions(row.extensions);
        profile.subject = row.subject;
        CertificatePtr cert = decodeNew(profile);
        ASSERT_TRUE(cert) << row.subject;
        EXPECT_EQ(emailBytes(*cert), row.addresses) << row.subject << " " << row.extensions;
    }
}

// openssl writes only printable text, so the bytes under test replace
// placeholders of the same length in the DER.
TEST_F(Decoder, EscapesAddressBytesByWhereTheyStand) {
    struct Case {
        std::string subject;
        std::string extensions;
        std::vector<std::pair<std::string, std::string>> edits;
        std::string addresses;
    };
    const std::vector<Case> rows{
        // In a name each byte at or above 0x80 becomes "\xx"; in an
        // alternative name it stays as it is.
        {"/CN=A/emailAddress=mZZ@x.org",
         "subjectAltName = email:sZZ@x.org",
         {{"mZZ@x.org", "m\xc3\xa9@x.org"}, {"sZZ@x.org", "s\xc3\xa9@x.org"}},
         "m\\c3\\a9@x.org\0s\xc3\xa9@x.org\0\0"s},
        // A control byte becomes "\xx" in both.
        {"/CN=A/emailAddress=aZb@x.org",
         "subjectAltName = email:cZd@x.org",
         {{"aZb@x.org", "a\nb@x.org"}, {"cZd@x.org", "c\nd@x.org"}},
         "a\\0ab@x.org\0c\\0ad@x.org\0\0"s},
        // A quote and a backslash are preceded by a backslash in a name, and
        // stay as they are in an alternative name.
        {"/CN=A/emailAddress=qZZ@x.org",
         "subjectAltName = email:rZZ@x.org",
         {{"qZZ@x.org", "q\"\\@x.org"}, {"rZZ@x.org", "r\"\\@x.org"}},
         "q\\\"\\\\@x.org\0r\"\\@x.org\0\0"s}};
    for (const Case& row : rows) {
        CertificateProfile profile = withExtensions(row.extensions);
        profile.subject = row.subject;
        std::string der = certificate(profile);
        for (const auto& edit : row.edits)
            der = replaceAll(der, edit.first, edit.second);
        CertificatePtr cert = decode(der);
        ASSERT_TRUE(cert) << row.subject;
        EXPECT_EQ(emailBytes(*cert), row.addresses) << row.subject;
    }
}

} // namespace
