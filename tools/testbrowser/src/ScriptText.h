// Duktape keeps text as CESU-8 (characters beyond U+FFFF as two encoded
// surrogates); NPAPI strings are UTF-8. These convert between the two.
#pragma once

#include <string>

namespace testbrowser {

std::string toUtf8(const char* cesu, size_t length);
// Invalid UTF-8 becomes U+FFFD.
std::string toCesu(const std::string& utf8);

} // namespace testbrowser
