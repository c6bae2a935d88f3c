#include "ScriptText.h"

#include <utf8.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace testbrowser {

namespace {

bool isSurrogate(const unsigned char* p, size_t left, unsigned char low, unsigned char high) {
    return left >= 3 && p[0] == 0xED && p[1] >= low && p[1] <= high && (p[2] & 0xC0) == 0x80;
}

unsigned surrogateValue(const unsigned char* p) {
    return 0xD000u | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
}

void appendCodePoint(std::string& out, unsigned codePoint) {
    utf8::append(static_cast<uint32_t>(codePoint), std::back_inserter(out));
}

void appendUnit(std::string& out, unsigned unit) {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
}

} // namespace

// Surrogates in CESU-8 begin with 0xED; a text without that byte is already UTF-8.
std::string toUtf8(const char* cesu, size_t length) {
    if (length == 0 || !std::memchr(cesu, 0xED, length))
        return std::string(cesu, length);
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(cesu);
    for (size_t i = 0; i < length;) {
        if (isSurrogate(p + i, length - i, 0xA0, 0xAF)) {
            if (isSurrogate(p + i + 3, length - i - 3, 0xB0, 0xBF)) {
                unsigned high = surrogateValue(p + i), low = surrogateValue(p + i + 3);
                appendCodePoint(out, 0x10000u + ((high - 0xD800u) << 10) + (low - 0xDC00u));
                i += 6;
            } else {
                appendCodePoint(out, 0xFFFD);
                i += 3;
            }
        } else if (isSurrogate(p + i, length - i, 0xB0, 0xBF)) {
            appendCodePoint(out, 0xFFFD);
            i += 3;
        } else {
            out += static_cast<char>(p[i++]);
        }
    }
    return out;
}

// ASCII text is the same in both encodings and needs no check.
std::string toCesu(const std::string& utf8Text) {
    if (std::all_of(utf8Text.begin(), utf8Text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return utf8Text;
    std::string valid;
    utf8::replace_invalid(utf8Text.begin(), utf8Text.end(), std::back_inserter(valid));
    std::string out;
    for (auto it = valid.begin(); it != valid.end();) {
        auto start = it;
        unsigned codePoint = utf8::next(it, valid.end());
        if (codePoint < 0x10000) {
            out.append(start, it);
            continue;
        }
        codePoint -= 0x10000;
        appendUnit(out, 0xD800 + (codePoint >> 10));
        appendUnit(out, 0xDC00 + (codePoint & 0x3FF));
    }
    return out;
}

} // namespace testbrowser
