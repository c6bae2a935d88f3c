// The engine's certificate decoder on arbitrary DER: the certificate it
// builds, its issuer and subject text, its e-mail addresses and key usage,
// and the list entry and distinguished names made from that text.
#include "DigitalSignatureUtilPkcs11Detail.h"
#include "FuzzCheck.h"
#include "FuzzEngine.h"

#include <cert.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct CertificateDeleter {
    void operator()(CERTCertificate* cert) const { CERT_DestroyCertificate(cert); }
};
typedef std::unique_ptr<CERTCertificate, CertificateDeleter> CertificatePtr;

// The list's separator never survives escaping, and the name text reads
// back as distinguished names.
void checkNameText(const char* name) {
    if (!name)
        return;
    require(engine_detail::escapeSeparators(name).find('|') == std::string::npos);
    std::string text = name;
    engine().GetNameValueMaps(text);
}

// The addresses are stored in lower case with control bytes escaped, each
// followed by a NUL, the list by one more.
void checkEmailAddresses(const char* addresses) {
    for (const char* address = addresses; address && *address; address += std::strlen(address) + 1)
        for (const char* c = address; *c; ++c)
            require(static_cast<unsigned char>(*c) >= 0x20 && !(*c >= 'A' && *c <= 'Z'));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Without a copy the certificate points into the input itself, so a read
    // past its end is a read past the fuzzer's buffer.
    SECItem der = {siBuffer, const_cast<unsigned char*>(data), static_cast<unsigned int>(size)};
    static char nickname[] = "Certificado";
    CertificatePtr cert(CERT_DecodeDERCertificate(&der, PR_FALSE, nickname));
    if (!cert)
        return 0;
    require(cert->derCert.data == data && cert->derCert.len == size);
    checkNameText(cert->subjectName);
    checkNameText(cert->issuerName);
    checkEmailAddresses(cert->emailAddr);
    CERT_CheckCertValidTimes(cert.get(), PR_Now(), PR_FALSE);
    return 0;
}
