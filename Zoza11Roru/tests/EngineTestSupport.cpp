#include "EngineTestSupport.h"

#include <cstring>

const char* const kPinModule = "Certificado VADOD";

namespace {

const char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::string toBase64(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned long group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        for (size_t digit = 0; digit < 4; ++digit)
            text +=
                i + digit <= bytes.size() ? kBase64Digits[(group >> (18 - 6 * digit)) & 0x3f] : '=';
    }
    return text;
}

std::string fromBase64(const std::string& text) {
    std::string bytes;
    unsigned long group = 0;
    int bits = 0;
    for (char c : text) {
        const char* digit = std::strchr(kBase64Digits, c);
        if (c == '=' || c == '\r' || c == '\n' || !digit || !c)
            continue;
        group = (group << 6) | static_cast<unsigned long>(digit - kBase64Digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> bits) & 0xff);
        }
    }
    return bytes;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

const std::string& EngineOnToken::key() {
    if (m_key.empty())
        m_key = makeRsaKey(token.folder(), "signer");
    return m_key;
}

std::string EngineOnToken::addCertificate(const std::string& name, const std::string& idHex,
                                          const CertificateProfile& profile, bool withKey) {
    std::string der = makeCertificate(token.folder(), name, key(), profile);
    token.writeCertificate(der, idHex);
    if (withKey)
        token.writePrivateKey(key(), idHex);
    return der;
}

std::string EngineOnToken::sign(size_t hashLength) {
    return engine.SignPkcs1Base64(toBase64(fromHex("0a0b")),
                                  toBase64(std::string(hashLength, 'h')));
}

std::string EngineOnToken::entryFor(const std::string& idHex) {
    return "O=Velmora,CN=Firmante|O=Velmora,CN=Firmante|" + toBase64(fromHex(idHex));
}

void verifySignature(const std::string& keyPem, const std::string& hash,
                     const std::string& signatureBase64, const std::string& digest,
                     const std::string& folder) {
    writeFile(folder + "/hash.bin", hash);
    writeFile(folder + "/signature.bin", fromBase64(signatureBase64));
    runCommand("openssl pkeyutl -verify -inkey '" + keyPem + "' -in '" + folder +
               "/hash.bin' -sigfile '" + folder + "/signature.bin' -pkeyopt digest:" + digest);
}

void expectValidSignature(const std::string& keyPem, const std::string& hash,
                          const std::string& signatureBase64, const std::string& digest,
                          const std::string& folder) {
    EXPECT_NO_THROW(verifySignature(keyPem, hash, signatureBase64, digest, folder));
}

std::string recoverSignedBytes(const std::string& keyPem, const std::string& signatureBase64,
                               const std::string& folder) {
    writeFile(folder + "/signature.bin", fromBase64(signatureBase64));
    runCommand("openssl pkeyutl -verifyrecover -inkey '" + keyPem + "' -in '" + folder +
               "/signature.bin' -pkeyopt rsa_padding_mode:pkcs1 -out '" + folder +
               "/recovered.bin'");
    return readFile(folder + "/recovered.bin");
}
