// The engine's text decoding, for its own use and for the tools that try it
// with arbitrary input: base64 ids and hashes, the digest a hash length
// names, and the escaping of names in the certificate list.
#pragma once

#include <secitem.h>
#include <secoidt.h>

#include <memory>
#include <string>

namespace engine_detail {

void freeItem(SECItem* item);

// Releases an NSS object with the function that NSS pairs with it.
template <auto release> struct ReleasedBy {
    template <typename T> void operator()(T* object) const { release(object); }
};
typedef std::unique_ptr<SECItem, ReleasedBy<freeItem>> ItemPtr;

// NSS's base64 decoding; null when the text is not base64.
ItemPtr decodeBase64(const std::string& text);
// A certificate id; null when the text is not base64 or decodes to no byte.
ItemPtr decodeIdentifier(const std::string& text);
// The digest whose DigestInfo wraps a hash of this length, or
// SEC_OID_UNKNOWN.
SECOidTag digestAlgorithmFor(unsigned int hashLength);
// A name text with "|", the list's separator, written as "\7c".
std::string escapeSeparators(const char* name);

} // namespace engine_detail
