// The certificate and signature engine as the plug-in's script object sees it:
// certificate listing, retrieval and signing, an error state read after each
// call, the process-wide PIN store and distinguished-name helpers.
#pragma once

#include <map>
#include <string>
#include <vector>

// One PIN module's entry in the PIN store.
struct PinInfoStruct {
    PinInfoStruct() : invalid(false), retries(0) {}
    PinInfoStruct(const std::string& pin, bool invalid, int retries)
        : pin(pin), invalid(invalid), retries(retries) {}

    std::string pin; // as typed; empty means no PIN
    bool invalid;    // the token refused it at a login
    int retries;     // refused logins recorded for the module
};

// The PINs of every PIN module, kept for the life of the process.
extern std::map<std::string, PinInfoStruct> gPines;

// True when some stored PIN is empty.
bool MissingPin();
// True when some stored PIN was refused.
bool InvalidPin();
// Overwrites every stored PIN, then empties the store.
void ErasePines();

class DigitalSignatureUtil {
public:
    typedef std::map<std::string, std::string> NameMap;
    typedef std::vector<NameMap> NameList;

    DigitalSignatureUtil();

    // Issuer, subject and base64 id of every usable signing certificate, all
    // fields joined by "|". The CA names are accepted and not used.
    virtual std::string ListCertificates(std::string caSubjectNames) = 0;
    virtual bool IsInitialized() = 0;
    virtual NameList GetCADistinguishedNames(std::string names) = 0;
    // The DER certificate with the given base64 id, in base64.
    virtual std::string GetCertificateBase64(std::string certIdBase64) = 0;
    // The base64 PKCS#1 signature of a base64 hash (MD5, SHA-1 or SHA-256 by
    // its length) with the private key of the given base64 id.
    virtual std::string SignPkcs1Base64(std::string certIdBase64, std::string hashBase64) = 0;
    virtual bool NeedConfigDir() = 0;
    // Logs out every slot and empties the PIN store.
    virtual void ClearPin() = 0;
    virtual ~DigitalSignatureUtil();

    int LastError() const { return lastError; }
    unsigned long LastLowLevelError() const { return lastLowLevelError; }
    std::string LastErrorMessage() const { return lastErrorMessage; }

    void SetPin(const std::string& name, const std::string& pin);
    bool MissingPin() const;
    bool InvalidPin() const;
    std::vector<std::string> MissingPines() const;
    std::vector<std::string> InvalidPines() const;
    int InvalidPinRetries(const std::string& name) const;

    std::string trim(std::string& text) const;
    NameMap GetNameValueMap(std::string text) const;
    NameList GetNameValueMaps(std::string& text) const;
    bool AreMatch(NameMap a, NameMap b) const;
    void PrintDistinguishedName(NameMap& name) const;
    bool HasDistinguishedName(NameList names, NameMap name) const;

protected:
    std::string lastErrorMessage;
    int lastError;
    unsigned long lastLowLevelError;
};
