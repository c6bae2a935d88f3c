// URL parsing, formatting, encoding and decoding. A URL that parses formats
// to text that parses to a URL formatting to that same text, and any text
// survives encoding then decoding unchanged.
#include "FuzzCheck.h"
#include "URI.h"

#include <boost/lexical_cast.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// The URL, or nothing for text that is refused as documented.
std::optional<FB::URI> parse(const std::string& text) {
    try {
        return FB::URI(text);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    } catch (const boost::bad_lexical_cast&) {
        return std::nullopt;
    }
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Formatting may respell a parsed path (a "%" that starts no escape is
// written as "%25", which the parser then keeps as written), so the round
// trip starts from the formatted text: it parses, and formats to itself.
void checkRoundTrip(const FB::URI& url) {
    const std::string full = url.toString(true);
    const std::optional<FB::URI> again = parse(full);
    require(again && again->toString(true) == full);
    require(endsWith(full, url.toString(false)));
    require(endsWith(url.path, url.filename()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    require(FB::URI::url_decode(FB::URI::url_encode(text)) == text);
    FB::URI::url_decode(text);
    if (const std::optional<FB::URI> url = parse(text))
        checkRoundTrip(*url);
    return 0;
}
