// The stream helper's reading of a response's header text: every header it
// finds has a name without a colon, and neither name nor value holds a line
// break or starts or ends with white space.
#include "FuzzCheck.h"
#include "SimpleStreamHelper.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool isTrimmed(const std::string& text) {
    const char* const blanks = " \t\n\v\f\r";
    return text.empty() ||
           (text.find_first_of(blanks) != 0 && text.find_last_of(blanks) != text.size() - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& header : FB::SimpleStreamHelper::parse_http_headers(text)) {
        require(header.first.find_first_of(":\r\n") == std::string::npos);
        require(header.second.find_first_of("\r\n") == std::string::npos);
        require(isTrimmed(header.first) && isTrimmed(header.second));
    }
    return 0;
}
