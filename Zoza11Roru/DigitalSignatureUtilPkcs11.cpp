#include "DigitalSignatureUtilPkcs11.h"
#include "DigitalSignatureUtilPkcs11Detail.h"

#include <cert.h>
#include <nss.h>
#include <nssb64.h>
#include <pk11pub.h>
#include <pkcs11.h>
#include <prerror.h>
#include <prinit.h>
#include <secder.h>
#include <secdig.h>
#include <secerr.h>
#include <secitem.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <set>

using namespace engine_detail;

// ---------------------------------------------------------------------------
// Certificate decoding. Debian's NSS does not export its certificate decoder,
// so the engine carries its own, built on NSS's public functions. Everything
// it allocates for a certificate lives in the certificate's own arena, which
// CERT_DestroyCertificate frees.

namespace {

const char hexChars[] = "0123456789abcdef";
const unsigned int kNoDerRoom = 2000;

bool needsHexEscape(unsigned char byte) {
    return byte < 0x20 || byte >= 0x80;
}

bool needsBackslash(unsigned char byte) {
    return byte == '"' || byte == '\\';
}

// Length of `src` once escaped by escapeAndQuote, without the closing NUL.
int cert_RFC1485_GetRequiredLen(const char* src, int srclen) {
    int length = 0;
    for (int i = 0; i < srclen && src[i]; ++i) {
        unsigned char byte = src[i];
        length += needsHexEscape(byte) ? 3 : needsBackslash(byte) ? 2 : 1;
    }
    return length;
}

// Copies an attribute value with control and non-ASCII bytes written as
// "\xx" and quotes and backslashes preceded by a backslash.
SECStatus escapeAndQuote(char* dst, int dstlen, char* src, int srclen) {
    if (cert_RFC1485_GetRequiredLen(src, srclen) + 1 > dstlen) {
        PORT_SetError(SEC_ERROR_OUTPUT_LEN);
        return SECFailure;
    }
    for (int i = 0; i < srclen && src[i]; ++i) {
        unsigned char byte = src[i];
        if (needsHexEscape(byte)) {
            *dst++ = '\\';
            *dst++ = hexChars[byte >> 4];
            *dst++ = hexChars[byte & 0x0f];
            continue;
        }
        if (needsBackslash(byte))
            *dst++ = '\\';
        *dst++ = static_cast<char>(byte);
    }
    *dst = 0;
    return SECSuccess;
}

// The escaped value of an attribute, from `arena` or, without one, from the
// heap.
char* avaToString(PLArenaPool* arena, CERTAVA* ava) {
    SECItem* value = CERT_DecodeAVAValue(&ava->value);
    if (!value)
        return nullptr;
    char* source = reinterpret_cast<char*>(value->data);
    int sourceLength = static_cast<int>(value->len);
    int size = cert_RFC1485_GetRequiredLen(source, sourceLength) + 1;
    char* text = static_cast<char*>(arena ? PORT_ArenaZAlloc(arena, size) : PORT_ZAlloc(size));
    if (text && escapeAndQuote(text, size, source, sourceLength) != SECSuccess) {
        if (!arena)
            PORT_Free(text);
        text = nullptr;
    }
    SECITEM_FreeItem(value, PR_TRUE);
    return text;
}

// The escaped text of the first attribute of `name` with the given tag.
char* CERT_GetNameElement(PLArenaPool* arena, CERTName* name, int wantedTag) {
    for (CERTRDN** rdn = name->rdns; rdn && *rdn; ++rdn)
        for (CERTAVA** ava = (*rdn)->avas; ava && *ava; ++ava)
            if (CERT_GetAVATag(*ava) == wantedTag)
                return avaToString(arena, *ava);
    return nullptr;
}

// Appends `src` in lower case and a NUL when it fits; returns the new end.
char* appendStringToBuf(char* dest, char* src, unsigned int* remaining) {
    if (!dest || !src || !*src)
        return dest;
    unsigned int length = static_cast<unsigned int>(std::strlen(src));
    if (*remaining <= length)
        return dest;
    for (unsigned int i = 0; i < length; ++i)
        dest[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(src[i])));
    dest[length] = 0;
    *remaining -= length + 1;
    return dest + length + 1;
}

// Appends the bytes of `src` in lower case, control bytes as "\xx", and a
// NUL when it fits; returns the new end.
char* appendItemToBuf(char* dest, SECItem* src, unsigned int* remaining) {
    if (!dest || !src || !src->data || !src->len || !src->data[0])
        return dest;
    unsigned int needed = src->len + 1;
    for (unsigned int i = 0; i < src->len; ++i)
        if (src->data[i] < 0x20)
            needed += 2;
    if (*remaining <= needed)
        return dest;
    for (unsigned int i = 0; i < src->len; ++i) {
        unsigned char byte = src->data[i];
        if (byte < 0x20) {
            *dest++ = '\\';
            *dest++ = hexChars[byte >> 4];
            *dest++ = hexChars[byte & 0x0f];
        } else {
            *dest++ = static_cast<char>(std::tolower(byte));
        }
    }
    *dest++ = 0;
    *remaining -= needed;
    return dest;
}

char* appendNameAddresses(PLArenaPool* arena, CERTName* name, char* dest, unsigned int* remaining) {
    dest = appendStringToBuf(dest, CERT_GetNameElement(arena, name, SEC_OID_PKCS9_EMAIL_ADDRESS),
                             remaining);
    return appendStringToBuf(dest, CERT_GetNameElement(arena, name, SEC_OID_RFC1274_MAIL),
                             remaining);
}

char* appendAltNameAddresses(CERTCertificate* cert, PLArenaPool* arena, char* dest,
                             unsigned int* remaining) {
    SECItem extension = {siBuffer, nullptr, 0};
    if (CERT_FindCertExtension(cert, SEC_OID_X509_SUBJECT_ALT_NAME, &extension) != SECSuccess)
        return dest;
    CERTGeneralName* head =
        extension.data ? CERT_DecodeAltNameExtension(arena, &extension) : nullptr;
    CERTGeneralName* current = head;
    while (current) {
        if (current->type == certDirectoryName)
            dest = appendNameAddresses(arena, &current->name.directoryName, dest, remaining);
        else if (current->type == certRFC822Name)
            dest = appendItemToBuf(dest, &current->name.other, remaining);
        current = CERT_GetNextGeneralName(current);
        if (current == head)
            break;
    }
    SECITEM_FreeItem(&extension, PR_FALSE);
    return dest;
}

// The certificate's e-mail addresses, each followed by a NUL, then one more
// NUL; null when it has none.
char* cert_GetCertificateEmailAddresses(CERTCertificate* cert) {
    PLArenaPool* scratch = PORT_NewArena(DER_DEFAULT_CHUNKSIZE);
    if (!scratch)
        return nullptr;
    unsigned int room = cert->derCert.len ? cert->derCert.len : kNoDerRoom;
    char* addresses = static_cast<char*>(PORT_ArenaZAlloc(scratch, room + 1));
    char* result = nullptr;
    if (addresses) {
        char* end = appendNameAddresses(scratch, &cert->subject, addresses, &room);
        end = appendAltNameAddresses(cert, scratch, end, &room);
        size_t length = static_cast<size_t>(end - addresses) + 1;
        if (length > 1) {
            result = static_cast<char*>(PORT_ArenaAlloc(cert->arena, length));
            if (result)
                std::memcpy(result, addresses, length);
        }
    }
    PORT_FreeArena(scratch, PR_FALSE);
    return result;
}

// The subject key identifier from its extension, or else the SHA-1 of the
// public key.
SECStatus cert_GetKeyID(CERTCertificate* cert) {
    cert->subjectKeyID.len = 0;
    SECItem extension = {siBuffer, nullptr, 0};
    if (CERT_FindSubjectKeyIDExtension(cert, &extension) == SECSuccess) {
        SECITEM_CopyItem(cert->arena, &cert->subjectKeyID, &extension);
        cert->keyIDGenerated = PR_FALSE;
        PORT_Free(extension.data);
    }
    if (cert->subjectKeyID.len == 0) {
        cert->subjectKeyID.data =
            static_cast<unsigned char*>(PORT_ArenaAlloc(cert->arena, SHA1_LENGTH));
        if (cert->subjectKeyID.data &&
            PK11_HashBuf(SEC_OID_SHA1, cert->subjectKeyID.data, cert->derPublicKey.data,
                         static_cast<PRInt32>(cert->derPublicKey.len)) == SECSuccess)
            cert->subjectKeyID.len = SHA1_LENGTH;
    }
    return cert->subjectKeyID.len ? SECSuccess : SECFailure;
}

// The first byte of the key-usage extension; every usage when it is absent.
SECStatus GetKeyUsage(CERTCertificate* cert) {
    SECItem bits = {siBuffer, nullptr, 0};
    if (CERT_FindKeyUsageExtension(cert, &bits) == SECSuccess) {
        cert->rawKeyUsage = bits.len ? bits.data[0] : 0;
        cert->keyUsage = cert->rawKeyUsage;
        cert->keyUsagePresent = PR_TRUE;
        PORT_Free(bits.data);
    } else {
        cert->rawKeyUsage = KU_ALL;
        cert->keyUsage = KU_ALL;
        cert->keyUsagePresent = PR_FALSE;
    }
    return SECSuccess;
}

bool copyDerCertificate(CERTCertificate* cert, SECItem* der, PRBool copy) {
    if (!copy) {
        cert->derCert = *der;
        return true;
    }
    cert->derCert.data = static_cast<unsigned char*>(PORT_ArenaAlloc(cert->arena, der->len));
    if (!cert->derCert.data)
        return false;
    std::memcpy(cert->derCert.data, der->data, der->len);
    cert->derCert.len = der->len;
    return true;
}

bool copyNickname(CERTCertificate* cert, const char* nickname) {
    if (!nickname) {
        cert->nickname = nullptr;
        return true;
    }
    size_t size = std::strlen(nickname) + 1;
    cert->nickname = static_cast<char*>(PORT_ArenaAlloc(cert->arena, size));
    if (!cert->nickname)
        return false;
    std::memcpy(cert->nickname, nickname, size);
    return true;
}

// The name as NSS writes it, copied into the certificate's arena.
char* nameText(PLArenaPool* arena, CERTName* name) {
    char* text = CERT_NameToAscii(name);
    if (!text)
        return nullptr;
    char* copy = PORT_ArenaStrdup(arena, text);
    PORT_Free(text);
    return copy;
}

bool fillCertificate(CERTCertificate* cert, SECItem* der, PRBool copyDER, const char* nickname) {
    if (!copyDerCertificate(cert, der, copyDER))
        return false;
    if (SEC_QuickDERDecodeItem(cert->arena, cert, SEC_ASN1_GET(SEC_SignedCertificateTemplate),
                               &cert->derCert) != SECSuccess)
        return false;
    if (!copyNickname(cert, nickname))
        return false;
    cert->emailAddr = cert_GetCertificateEmailAddresses(cert);
    if (cert_GetKeyID(cert) != SECSuccess)
        return false;
    GetKeyUsage(cert);
    cert->isRoot = PR_FALSE;
    cert->subjectName = nameText(cert->arena, &cert->subject);
    cert->issuerName = nameText(cert->arena, &cert->issuer);
    cert->referenceCount = 1;
    cert->slot = nullptr;
    cert->pkcs11ID = CK_INVALID_HANDLE;
    cert->dbnickname = nullptr;
    return true;
}

} // namespace

CERTCertificate* CERT_DecodeDERCertificate(SECItem* derSignedCert, PRBool copyDER, char* nickname) {
    PLArenaPool* arena = PORT_NewArena(DER_DEFAULT_CHUNKSIZE);
    if (!arena)
        return nullptr;
    CERTCertificate* cert = PORT_ArenaZNew(arena, CERTCertificate);
    if (cert)
        cert->arena = arena;
    if (!cert || !fillCertificate(cert, derSignedCert, copyDER, nickname)) {
        PORT_FreeArena(arena, PR_FALSE);
        return nullptr;
    }
    return cert;
}

// ---------------------------------------------------------------------------
// The engine.

namespace {

const int kNoError = 0;
const int kNotInitialized = 1;
const int kUnusableSigningInput = 3;
const int kPinRefused = 5;
const int kPinMissing = 11;
const int kTokenFailure = 12;

const char* const kEnginePinModule = "Certificado VADOD";
const unsigned long kSignatureRoom = 2048;
const unsigned long kNssArenaChunk = 2048;
// NSS without any database.
const PRUint32 kNssFlags = NSS_INIT_READONLY | NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB;
// Bounds on what a token may report: more slots, or a longer attribute
// value, than this is taken for a broken or hostile token.
const CK_ULONG kMaxSlots = 1024;
const CK_ULONG kMaxAttributeLength = 1 << 20;
// A token holds a few dozen certificates at most; a listing search that
// returns more objects than this never ends by itself.
const std::size_t kMaxListedObjects = 4096;

// Calls `end` on a session when the scope that began the step ends, on every
// path, an exception's included. Scopes nest, so the steps end in the
// reverse of the order they began: search, login, session.
template <CK_RV (*end)(CK_SESSION_HANDLE)> class SessionStep {
public:
    explicit SessionStep(CK_SESSION_HANDLE session) : m_session(session) {}
    SessionStep(const SessionStep&) = delete;
    SessionStep& operator=(const SessionStep&) = delete;
    ~SessionStep() { end(m_session); }

private:
    CK_SESSION_HANDLE m_session;
};
typedef SessionStep<C_CloseSession> OpenSession;
typedef SessionStep<C_Logout> LoggedIn;
typedef SessionStep<C_FindObjectsFinal> ActiveSearch;

// Finalises the module when the cycle that initialised it ends.
class InitializedModule {
public:
    InitializedModule() = default;
    InitializedModule(const InitializedModule&) = delete;
    InitializedModule& operator=(const InitializedModule&) = delete;
    ~InitializedModule() { C_Finalize(nullptr); }
};

void freeArena(PLArenaPool* arena) {
    PORT_FreeArena(arena, PR_FALSE);
}

typedef std::unique_ptr<CERTCertificate, ReleasedBy<CERT_DestroyCertificate>> CertificatePtr;

// DER_Encode tables of the PKCS #1 DigestInfo:
// SEQUENCE { SEQUENCE { algorithm OID, parameters ANY OPTIONAL }, digest OCTET STRING }.
DERTemplate SECAlgorithmIDTemplate[] = {
    {DER_SEQUENCE, 0, nullptr, sizeof(SECAlgorithmID)},
    {DER_OBJECT_ID, offsetof(SECAlgorithmID, algorithm), nullptr, 0},
    {DER_OPTIONAL | DER_ANY, offsetof(SECAlgorithmID, parameters), nullptr, 0},
    {0, 0, nullptr, 0}};

DERTemplate SGNDigestInfoTemplate[] = {
    {DER_SEQUENCE, 0, nullptr, sizeof(SGNDigestInfo)},
    {DER_INLINE, offsetof(SGNDigestInfo, digestAlgorithm), SECAlgorithmIDTemplate, 0},
    {DER_OCTET_STRING, offsetof(SGNDigestInfo, digest), nullptr, 0},
    {0, 0, nullptr, 0}};

// The token's answers that refuse the PIN itself: a wrong PIN, a locked one,
// and one the token will not take as a PIN at all (bad characters, wrong
// length). An expired PIN was right, so CKR_PIN_EXPIRED is not among them.
bool isPinRefusal(CK_RV rv) {
    return rv == CKR_PIN_INCORRECT || rv == CKR_PIN_INVALID || rv == CKR_PIN_LEN_RANGE ||
           rv == CKR_PIN_LOCKED;
}

// NSPR's error code, sign-extended to the width of the low-level code.
unsigned long nsprErrorCode() {
    return static_cast<unsigned long>(static_cast<long>(PR_GetError()));
}

CertificatePtr decodeCertificate(std::vector<unsigned char>& der) {
    static char nickname[] = "Certificado";
    SECItem item = {siBuffer, der.data(), static_cast<unsigned int>(der.size())};
    return CertificatePtr(CERT_DecodeDERCertificate(&item, PR_TRUE, nickname));
}

// Fit for signing now: both signing usages, valid at this moment, and both
// names readable.
bool isUsableForSigning(const CERTCertificate& cert) {
    const unsigned int signingUsages = KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION;
    return cert.issuerName && cert.subjectName &&
           (cert.keyUsage & signingUsages) == signingUsages &&
           CERT_CheckCertValidTimes(&cert, PR_Now(), PR_FALSE) == secCertTimeValid;
}

} // namespace

namespace engine_detail {

void freeItem(SECItem* item) {
    SECITEM_FreeItem(item, PR_TRUE);
}

ItemPtr decodeBase64(const std::string& text) {
    return ItemPtr(NSSBase64_DecodeBuffer(nullptr, nullptr, text.data(),
                                          static_cast<unsigned int>(text.size())));
}

// NSS decodes some junk, such as "!!!!" or blanks, to nothing; an empty id
// would match an object with an empty CKA_ID.
ItemPtr decodeIdentifier(const std::string& text) {
    ItemPtr id = decodeBase64(text);
    if (id && id->len == 0)
        id.reset();
    return id;
}

SECOidTag digestAlgorithmFor(unsigned int hashLength) {
    switch (hashLength) {
    case MD5_LENGTH:
        return SEC_OID_MD5;
    case SHA1_LENGTH:
        return SEC_OID_SHA1;
    case SHA256_LENGTH:
        return SEC_OID_SHA256;
    default:
        return SEC_OID_UNKNOWN;
    }
}

std::string escapeSeparators(const char* name) {
    std::string text;
    for (const char* c = name; *c; ++c)
        text += *c == '|' ? std::string("\\7c") : std::string(1, *c);
    return text;
}

} // namespace engine_detail

DigitalSignatureUtilPkcs11::DigitalSignatureUtilPkcs11()
    : initialized(false), pinModuleName(kEnginePinModule) {
    PR_Init(PR_USER_THREAD, PR_PRIORITY_NORMAL, 0);
    // Every engine takes a reference of its own, also when NSS is already
    // running: NSS counts them and shuts down only when the last is released,
    // so deleting one engine never shuts NSS down under another.
    nssReference.reset(NSS_InitContext("", "", "", "", nullptr, kNssFlags));
    if (nssReference || NSS_IsInitialized()) {
        initialized = true;
        return;
    }
    SetErrorInfo();
    lastError = kNotInitialized;
}

// The reference to NSS is released after the logout, with the fields.
DigitalSignatureUtilPkcs11::~DigitalSignatureUtilPkcs11() {
    PK11_LogoutAll();
}

void DigitalSignatureUtilPkcs11::NssReleaser::operator()(NSSInitContextStr* context) const {
    NSS_ShutdownContext(context);
}

bool DigitalSignatureUtilPkcs11::IsInitialized() {
    return initialized;
}

bool DigitalSignatureUtilPkcs11::NeedConfigDir() {
    return !NSS_IsInitialized();
}

DigitalSignatureUtil::NameList
DigitalSignatureUtilPkcs11::GetCADistinguishedNames(std::string names) {
    return GetNameValueMaps(names);
}

void DigitalSignatureUtilPkcs11::ClearPin() {
    PK11_LogoutAll();
    ErasePines();
}

std::string DigitalSignatureUtilPkcs11::ListCertificates(std::string /*caSubjectNames*/) {
    return runCycle([this](unsigned long session) { return listCertificates(session); });
}

std::string DigitalSignatureUtilPkcs11::GetCertificateBase64(std::string certIdBase64) {
    return runCycle([&](unsigned long session) { return readCertificate(session, certIdBase64); });
}

std::string DigitalSignatureUtilPkcs11::SignPkcs1Base64(std::string certIdBase64,
                                                        std::string hashBase64) {
    return runCycle([&](unsigned long session) {
        if (!Login(session))
            return std::string();
        // Declared before the login's scope, so the hash is released after
        // the logout.
        ItemPtr hash;
        const LoggedIn login(session);
        hash = decodeBase64(hashBase64);
        return signHash(session, certIdBase64, hash.get());
    });
}

// --- error state

bool DigitalSignatureUtilPkcs11::checkReturnValue(unsigned long rv, const char* context) {
    if (rv == CKR_OK)
        return true;
    lastLowLevelError = rv;
    lastError = isPinRefusal(rv) ? kPinRefused : kTokenFailure;
    lastErrorMessage = context;
    return false;
}

void DigitalSignatureUtilPkcs11::SetErrorInfo() {
    if (lastError == kNoError)
        lastError = InvalidPin() ? kPinRefused : MissingPin() ? kPinMissing : kNoError;
    lastLowLevelError = nsprErrorCode();
    std::vector<char> text(PR_GetErrorTextLength() + 1, 0);
    PR_GetErrorText(text.data());
    lastErrorMessage = text.data();
}

void DigitalSignatureUtilPkcs11::setError(int code, const std::string& message) {
    lastError = code;
    lastErrorMessage = message;
}

void DigitalSignatureUtilPkcs11::setNssFailure(const char* context) {
    lastError = kTokenFailure;
    lastLowLevelError = nsprErrorCode();
    lastErrorMessage = context;
}

void DigitalSignatureUtilPkcs11::refuseReportedSize(const char* context) {
    setError(kTokenFailure, context);
}

// --- the PKCS#11 cycle

std::string DigitalSignatureUtilPkcs11::runCycle(const SessionBody& body) {
    lastError = kNoError;
    try {
        if (!IsInitialized()) {
            lastError = kNotInitialized;
            return "";
        }
        // A PIN that is missing or was refused must be typed again first.
        if (InvalidPin() || MissingPin()) {
            SetErrorInfo();
            return "";
        }
        return runOnFirstSlot(body);
    } catch (const std::exception& error) {
        setError(kTokenFailure, error.what());
    } catch (...) {
        setError(kTokenFailure, "unknown failure");
    }
    return "";
}

std::string DigitalSignatureUtilPkcs11::runOnFirstSlot(const SessionBody& body) {
    if (!checkReturnValue(C_Initialize(nullptr), "C_Initialize failed"))
        return "";
    const InitializedModule module;
    const std::optional<unsigned long> slot = getSlot();
    if (!slot)
        return "";
    const std::optional<unsigned long> session = startSession(*slot);
    if (!session)
        return "";
    const OpenSession open(*session);
    return body(*session);
}

std::optional<unsigned long> DigitalSignatureUtilPkcs11::getSlot() {
    CK_ULONG count = 0;
    if (!checkReturnValue(C_GetSlotList(CK_TRUE, nullptr, &count), "get slot list"))
        return std::nullopt;
    if (count == 0)
        return noSlot();
    if (count > kMaxSlots) {
        refuseReportedSize("get slot list");
        return std::nullopt;
    }
    std::vector<CK_SLOT_ID> slots(count);
    if (!checkReturnValue(C_GetSlotList(CK_TRUE, slots.data(), &count), "get slot list"))
        return std::nullopt;
    if (count == 0)
        return noSlot();
    if (count > slots.size()) {
        refuseReportedSize("get slot list");
        return std::nullopt;
    }
    return slots[0];
}

std::optional<unsigned long> DigitalSignatureUtilPkcs11::noSlot() {
    setError(kTokenFailure, "No se encontro ningun slot");
    return std::nullopt;
}

std::optional<unsigned long> DigitalSignatureUtilPkcs11::startSession(unsigned long slot) {
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    if (!checkReturnValue(C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session),
                          "open session"))
        return std::nullopt;
    return session;
}

bool DigitalSignatureUtilPkcs11::Login(unsigned long session) {
    auto entry = gPines.find(pinModuleName);
    if (entry == gPines.end())
        entry = gPines.emplace(pinModuleName, PinInfoStruct("", false, 0)).first;
    PinInfoStruct& info = entry->second;
    if (info.pin.empty()) {
        setError(kPinMissing, "No se ha definido el pin para " + pinModuleName);
        return false;
    }
    if (info.invalid) {
        ++info.retries;
        setError(kPinRefused, "Pin invalido para " + pinModuleName);
        return false;
    }
    // The whole PIN, a NUL in it included: a token must not see a prefix.
    CK_RV rv = C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(&info.pin[0]),
                       info.pin.size());
    if (checkReturnValue(rv, "C_Login"))
        return true;
    if (lastError == kPinRefused) {
        info.invalid = true;
        ++info.retries;
        lastErrorMessage = "Pin invalido para " + pinModuleName;
    }
    return false;
}

// --- searches and attributes

bool DigitalSignatureUtilPkcs11::startSearch(unsigned long session, CK_ATTRIBUTE* searchTemplate,
                                             unsigned long count) {
    return checkReturnValue(C_FindObjectsInit(session, searchTemplate, count), "Find objects init");
}

DigitalSignatureUtilPkcs11::SearchResult
DigitalSignatureUtilPkcs11::findObject(unsigned long session, unsigned long& object,
                                       const char* context) {
    CK_ULONG count = 0;
    if (!checkReturnValue(C_FindObjects(session, &object, 1, &count), context))
        return SearchResult::Failed;
    return count ? SearchResult::Found : SearchResult::NotFound;
}

// Reads the attributes in two passes: their lengths, then their values.
bool DigitalSignatureUtilPkcs11::readAttributes(unsigned long session, unsigned long object,
                                                const std::vector<unsigned long>& types,
                                                std::vector<std::vector<unsigned char>>& values) {
    std::vector<CK_ATTRIBUTE> attributes;
    for (unsigned long type : types)
        attributes.push_back({type, nullptr, 0});
    if (!checkReturnValue(
            C_GetAttributeValue(session, object, attributes.data(), attributes.size()),
            "get attribute value"))
        return false;
    values.assign(types.size(), std::vector<unsigned char>());
    for (size_t i = 0; i < attributes.size(); ++i) {
        if (attributes[i].ulValueLen > kMaxAttributeLength) {
            refuseReportedSize("get attribute value");
            return false;
        }
        values[i].resize(attributes[i].ulValueLen);
        attributes[i].pValue = values[i].data();
    }
    if (!checkReturnValue(
            C_GetAttributeValue(session, object, attributes.data(), attributes.size()),
            "get attribute value"))
        return false;
    for (size_t i = 0; i < attributes.size(); ++i) {
        if (attributes[i].ulValueLen > values[i].size()) {
            refuseReportedSize("get attribute value");
            return false;
        }
        values[i].resize(attributes[i].ulValueLen);
    }
    return true;
}

bool DigitalSignatureUtilPkcs11::encodeBase64(const std::vector<unsigned char>& bytes,
                                              std::string& text) {
    SECItem item = {siBuffer, const_cast<unsigned char*>(bytes.data()),
                    static_cast<unsigned int>(bytes.size())};
    std::unique_ptr<char, ReleasedBy<PORT_Free>> encoded(
        NSSBase64_EncodeItem(nullptr, nullptr, 0, &item));
    if (!encoded) {
        setNssFailure("base64 encode");
        return false;
    }
    text = encoded.get();
    return true;
}

// --- listing and retrieval

std::string DigitalSignatureUtilPkcs11::listCertificates(unsigned long session) {
    CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE x509 = CKC_X_509;
    CK_ATTRIBUTE search[] = {{CKA_CLASS, &certificateClass, sizeof certificateClass},
                             {CKA_CERTIFICATE_TYPE, &x509, sizeof x509}};
    std::string list;
    // The listing finishes its search even when starting it failed.
    const ActiveSearch searching(session);
    if (!startSearch(session, search, 2))
        return list;
    std::set<unsigned long> listed;
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    const char* context = "Find first object";
    while (findObject(session, object, context) == SearchResult::Found) {
        if (!takeListedObject(listed, object))
            break;
        appendIfUsable(session, object, list);
        context = "Find other objects";
    }
    return list;
}

// Adds the object to those the listing has taken. A search that returns an
// object it returned already, or more objects than a token holds, would
// never end: such an object is refused with code 12, and the listing stops
// there, keeping what it listed.
bool DigitalSignatureUtilPkcs11::takeListedObject(std::set<unsigned long>& listed,
                                                  unsigned long object) {
    if (listed.size() < kMaxListedObjects && listed.insert(object).second)
        return true;
    refuseReportedSize("Find other objects");
    return false;
}

// Appends issuer, subject and base64 id of a certificate fit for signing.
void DigitalSignatureUtilPkcs11::appendIfUsable(unsigned long session, unsigned long object,
                                                std::string& list) {
    std::vector<std::vector<unsigned char>> values;
    if (!readAttributes(session, object, {CKA_ID, CKA_VALUE}, values) || values[0].empty() ||
        values[1].empty())
        return;
    CertificatePtr cert = decodeCertificate(values[1]);
    if (!cert || !isUsableForSigning(*cert))
        return;
    std::string id;
    if (!encodeBase64(values[0], id))
        return;
    if (!list.empty())
        list += "|";
    list +=
        escapeSeparators(cert->issuerName) + "|" + escapeSeparators(cert->subjectName) + "|" + id;
}

std::string DigitalSignatureUtilPkcs11::readCertificate(unsigned long session,
                                                        const std::string& certIdBase64) {
    ItemPtr id = decodeIdentifier(certIdBase64);
    if (!id) {
        setError(kTokenFailure, "Invalid cert id base64");
        return "";
    }
    CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE x509 = CKC_X_509;
    CK_ATTRIBUTE search[] = {{CKA_CLASS, &certificateClass, sizeof certificateClass},
                             {CKA_CERTIFICATE_TYPE, &x509, sizeof x509},
                             {CKA_ID, id->data, id->len}};
    if (!startSearch(session, search, 3))
        return "";
    std::string certificate = readFirstCertificateFound(session);
    if (certificate.empty() && lastError == kNoError)
        setError(kTokenFailure, "No se encontro el certificado");
    return certificate;
}

// The base64 DER value of the first object of the search, which this ends.
std::string DigitalSignatureUtilPkcs11::readFirstCertificateFound(unsigned long session) {
    const ActiveSearch searching(session);
    std::string certificate;
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    std::vector<std::vector<unsigned char>> values;
    if (findObject(session, object, "Find first object") == SearchResult::Found &&
        readAttributes(session, object, {CKA_VALUE}, values) && !values[0].empty())
        encodeBase64(values[0], certificate);
    return certificate;
}

// --- signing

std::string DigitalSignatureUtilPkcs11::signHash(unsigned long session,
                                                 const std::string& certIdBase64, SECItem* hash) {
    // The id is decoded only for a usable hash.
    ItemPtr id;
    if (hash && digestAlgorithmFor(hash->len) != SEC_OID_UNKNOWN)
        id = decodeIdentifier(certIdBase64);
    if (!id) {
        lastError = kUnusableSigningInput;
        SetErrorInfo();
        return "";
    }
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    SearchResult found = findPrivateKey(session, *id, key);
    if (found == SearchResult::NotFound)
        setError(kUnusableSigningInput, "No se encontro la clave privada del certificado");
    if (found != SearchResult::Found)
        return "";
    return signDigestInfo(session, key, *hash);
}

// The search is finished before signing starts: a token may refuse to start
// an operation while a search is active.
DigitalSignatureUtilPkcs11::SearchResult
DigitalSignatureUtilPkcs11::findPrivateKey(unsigned long session, SECItem& id, unsigned long& key) {
    CK_OBJECT_CLASS privateKeyClass = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE search[] = {{CKA_CLASS, &privateKeyClass, sizeof privateKeyClass},
                             {CKA_ID, id.data, id.len}};
    if (!startSearch(session, search, 2))
        return SearchResult::Failed;
    const ActiveSearch searching(session);
    return findObject(session, key, "Find first object");
}

// Has the token sign the DER DigestInfo of the hash with CKM_RSA_PKCS.
std::string DigitalSignatureUtilPkcs11::signDigestInfo(unsigned long session, unsigned long key,
                                                       SECItem& hash) {
    std::unique_ptr<PLArenaPool, ReleasedBy<freeArena>> arena(PORT_NewArena(kNssArenaChunk));
    if (!arena) {
        setNssFailure("new arena");
        return "";
    }
    std::unique_ptr<SGNDigestInfo, ReleasedBy<SGN_DestroyDigestInfo>> digestInfo(
        SGN_CreateDigestInfo(digestAlgorithmFor(hash.len), hash.data, hash.len));
    if (!digestInfo) {
        setNssFailure("create digest info");
        return "";
    }
    SECItem der = {siBuffer, nullptr, 0};
    if (DER_Encode(arena.get(), &der, SGNDigestInfoTemplate, digestInfo.get()) != SECSuccess) {
        setNssFailure("DER encode");
        return "";
    }
    CK_MECHANISM mechanism = {CKM_RSA_PKCS, nullptr, 0};
    if (!checkReturnValue(C_SignInit(session, &mechanism, key), "sign init new"))
        return "";
    std::vector<unsigned char> signature(kSignatureRoom);
    CK_ULONG length = signature.size();
    if (!checkReturnValue(C_Sign(session, der.data, der.len, signature.data(), &length),
                          "sign final"))
        return "";
    // A signature of no byte is no signature, and one longer than the buffer
    // was not written into it.
    if (length == 0 || length > signature.size()) {
        refuseReportedSize("sign final");
        return "";
    }
    signature.resize(length);
    std::string text;
    encodeBase64(signature, text);
    return text;
}
