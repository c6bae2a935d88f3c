// The engine over the token vendor's PKCS#11 module, with NSS for certificate
// decoding, names, base64 and DigestInfo encoding. Each operation is one
// complete PKCS#11 cycle: initialise, open a session on the first slot with a
// token, (log in,) work, close the session and finalise the module.
#pragma once

#include "DigitalSignatureUtil.h"

#include <functional>
#include <string>
#include <vector>

struct CK_ATTRIBUTE;
struct SECItemStr;

class DigitalSignatureUtilPkcs11 : public DigitalSignatureUtil {
public:
    DigitalSignatureUtilPkcs11();

    std::string ListCertificates(std::string caSubjectNames) override;
    bool IsInitialized() override;
    NameList GetCADistinguishedNames(std::string names) override;
    std::string GetCertificateBase64(std::string certIdBase64) override;
    std::string SignPkcs1Base64(std::string certIdBase64, std::string hashBase64) override;
    bool NeedConfigDir() override;
    void ClearPin() override;
    ~DigitalSignatureUtilPkcs11() override;

private:
    enum class SearchResult { Found, NotFound, Failed };

    bool checkReturnValue(unsigned long rv, const char* context);
    void SetErrorInfo();
    void setError(int code, const std::string& message);
    void setNssFailure(const char* context);
    unsigned long getSlot();
    unsigned long startSession(unsigned long slot);
    bool Login(unsigned long session);

    // Clears the error code, stops while a PIN is missing or refused, then
    // runs `body` on a session of the first slot with a token and closes the
    // session and finalises the module whatever happened.
    std::string runCycle(const std::function<std::string(unsigned long)>& body);

    bool startSearch(unsigned long session, CK_ATTRIBUTE* searchTemplate, unsigned long count);
    SearchResult findObject(unsigned long session, unsigned long& object, const char* context);
    bool readAttributes(unsigned long session, unsigned long object,
                        const std::vector<unsigned long>& types,
                        std::vector<std::vector<unsigned char>>& values);
    // NSS's base64, line breaks included.
    bool encodeBase64(const std::vector<unsigned char>& bytes, std::string& text);

    std::string listCertificates(unsigned long session);
    void appendIfUsable(unsigned long session, unsigned long object, std::string& list);
    std::string readCertificate(unsigned long session, const std::string& certIdBase64);
    // Signs the decoded hash (null when it was not base64).
    std::string signHash(unsigned long session, const std::string& certIdBase64, SECItemStr* hash);
    SearchResult findPrivateKey(unsigned long session, SECItemStr& id, unsigned long& key);
    std::string signDigestInfo(unsigned long session, unsigned long key, SECItemStr& hash);

    bool initialized;
    bool ownsNss;
    std::string pinModuleName;
};
