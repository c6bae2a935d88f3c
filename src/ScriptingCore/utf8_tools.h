#pragma once

// Conversions between the system's UTF-8 text and wide strings holding one
// code point per wchar_t. Malformed input raises UTF8-CPP's exceptions.

#include <string>

namespace FB {

std::string wstring_to_utf8(const std::wstring& src);
std::wstring utf8_to_wstring(const std::string& src);

// A copy lowered by the wide case mapping of the global locale.
std::wstring wstring_tolower(const std::wstring& src);

} // namespace FB
