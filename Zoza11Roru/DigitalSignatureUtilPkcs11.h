// The engine over the token vendor's PKCS#11 module, with NSS for certificate
// decoding, names, base64 and DigestInfo encoding. Each operation is one
// complete PKCS#11 cycle: initialise, open a session on the first slot with a
// token, (log in,) work, close the session and finalise the module.
#pragma once

#include "DigitalSignatureUtil.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct CK_ATTRIBUTE;
struct NSSInitContextStr;
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

    // Releases this engine's reference to NSS; the last one shuts NSS down.
    struct NssReleaser {
        void operator()(NSSInitContextStr* context) const;
    };
    typedef std::function<std::string(unsigned long)> SessionBody;

    bool checkReturnValue(unsigned long rv, const char* context);
    void SetErrorInfo();
    void setError(int code, const std::string& message);
    void setNssFailure(const char* context);
    // Refuses a count or length that a call reported as success but that is
    // beyond what the buffer holds or what a token sanely has.
    void refuseReportedSize(const char* context);
    // The first slot with a token, and a session on it; none after a failure,
    // whose error is set. Any value is a valid slot id or session handle.
    std::optional<unsigned long> getSlot();
    std::optional<unsigned long> noSlot();
    std::optional<unsigned long> startSession(unsigned long slot);
    bool Login(unsigned long session);

    // Clears the error code, stops while a PIN is missing or refused, then
    // runs `body` on a session of the first slot with a token. The session
    // is closed and the module finalised on every path, and no exception
    // leaves: one becomes code 12.
    std::string runCycle(const SessionBody& body);
    std::string runOnFirstSlot(const SessionBody& body);

    bool startSearch(unsigned long session, CK_ATTRIBUTE* searchTemplate, unsigned long count);
    SearchResult findObject(unsigned long session, unsigned long& object, const char* context);
    bool readAttributes(unsigned long session, unsigned long object,
                        const std::vector<unsigned long>& types,
                        std::vector<std::vector<unsigned char>>& values);
    // NSS's base64, line breaks included.
    bool encodeBase64(const std::vector<unsigned char>& bytes, std::string& text);

    std::string listCertificates(unsigned long session);
    bool takeListedObject(std::set<unsigned long>& listed, unsigned long object);
    void appendIfUsable(unsigned long session, unsigned long object, std::string& list);
    std::string readCertificate(unsigned long session, const std::string& certIdBase64);
    std::string readFirstCertificateFound(unsigned long session);
    // Signs the decoded hash (null when it was not base64).
    std::string signHash(unsigned long session, const std::string& certIdBase64, SECItemStr* hash);
    SearchResult findPrivateKey(unsigned long session, SECItemStr& id, unsigned long& key);
    std::string signDigestInfo(unsigned long session, unsigned long key, SECItemStr& hash);

    bool initialized;
    // This engine's own reference to NSS, held while it lives; empty when NSS
    // was already running and no reference could be taken.
    std::unique_ptr<NSSInitContextStr, NssReleaser> nssReference;
    std::string pinModuleName;
};
