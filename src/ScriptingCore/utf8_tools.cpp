#include "utf8_tools.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <iterator>
#include <locale>
#include <utf8.h>

namespace FB {

std::string wstring_to_utf8(const std::wstring& src) {
    std::string out;
    utf8::utf32to8(src.begin(), src.end(), std::back_inserter(out));
    return out;
}

std::wstring utf8_to_wstring(const std::string& src) {
    std::wstring out;
    utf8::utf8to32(src.begin(), src.end(), std::back_inserter(out));
    return out;
}

std::wstring wstring_tolower(const std::wstring& src) {
    return boost::algorithm::to_lower_copy(src, std::locale());
}

} // namespace FB
