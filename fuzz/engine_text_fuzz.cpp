// The engine's decoding of text a page hands it: base64 certificate ids and
// hashes, and distinguished names.
#include "DigitalSignatureUtilPkcs11Detail.h"
#include "FuzzCheck.h"
#include "FuzzEngine.h"

#include <nssb64.h>
#include <secport.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string bytesOf(const SECItem& item) {
    return std::string(reinterpret_cast<const char*>(item.data), item.len);
}

// Bytes that decoded encode to base64 that decodes to them again (NSS
// encodes no empty item).
void checkRoundTrip(SECItem& decoded) {
    std::unique_ptr<char, engine_detail::ReleasedBy<PORT_Free>> encoded(
        NSSBase64_EncodeItem(nullptr, nullptr, 0, &decoded));
    require(encoded != nullptr);
    engine_detail::ItemPtr again = engine_detail::decodeBase64(encoded.get());
    require(again && bytesOf(*again) == bytesOf(decoded));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    engine_detail::ItemPtr hash = engine_detail::decodeBase64(text);
    if (hash && hash->len > 0)
        checkRoundTrip(*hash);
    engine_detail::ItemPtr id = engine_detail::decodeIdentifier(text);
    require(!id || id->len > 0);
    require(!id == (!hash || hash->len == 0));
    engine().GetNameValueMaps(text);
    return 0;
}
