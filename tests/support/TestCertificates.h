// Keys and certificates made with openssl for the tests.
#pragma once

#include <string>

struct CertificateProfile {
    std::string subject = "/CN=Firmante/O=Velmora";
    // The value of the keyUsage extension; empty leaves the extension out.
    std::string keyUsage = "critical,digitalSignature,nonRepudiation";
    // Further lines of the extension section, e.g. "subjectAltName = email:a@b.c".
    std::string extensions;
    // Validity, in days from now.
    int notBeforeDays = -1;
    int notAfterDays = 365;
};

// Makes a 2048-bit RSA key, `<name>.key.pem` in `folder`; returns its path.
std::string makeRsaKey(const std::string& folder, const std::string& name);

// Makes a certificate of the key for the profile, signed by the key itself,
// `<name>.der` in `folder`; returns its path.
std::string makeCertificate(const std::string& folder, const std::string& name,
                            const std::string& keyPem, const CertificateProfile& profile = {});

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
