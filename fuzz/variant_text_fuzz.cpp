// The variant's conversions of text to every numeric type and to bool. The
// text is read as a std::string and, when it is valid UTF-8, as a
// std::wstring too: both must give the same answer. An unsigned type never
// takes a negative number, and an integer read from text formats back to
// text that reads as the same integer.
#include "FuzzCheck.h"
#include "variant.h"
#include "variant_conversions.h"

#include <utf8.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

namespace {

template <typename T> std::optional<T> read(const FB::variant& value) {
    try {
        return value.template convert_cast<T>();
    } catch (const FB::bad_variant_cast&) {
        return std::nullopt;
    }
}

// Equal, NaN counting as equal to NaN.
template <typename T> bool same(const std::optional<T>& a, const std::optional<T>& b) {
    if constexpr (std::is_floating_point<T>::value) {
        if (a && b && std::isnan(*a) && std::isnan(*b))
            return true;
    }
    return a == b;
}

// The text past the white space a stream skips starts with a minus.
bool startsNegative(const std::string& text) {
    const std::string::size_type first = text.find_first_not_of(" \t\n\v\f\r");
    return first != std::string::npos && text[first] == '-';
}

template <typename T>
void checkNumber(const std::string& text, const std::optional<std::wstring>& wide) {
    const std::optional<T> fromText = read<T>(FB::variant(text));
    if (wide)
        require(same(read<T>(FB::variant(*wide)), fromText));
    if constexpr (std::is_integral<T>::value && sizeof(T) > 1) {
        if (std::is_unsigned<T>::value && startsNegative(text))
            require(!fromText);
        if (fromText) {
            const std::string formatted = FB::variant(*fromText).convert_cast<std::string>();
            require(read<T>(FB::variant(formatted)) == fromText);
        }
    }
}

template <typename... T>
void checkNumbers(const std::string& text, const std::optional<std::wstring>& wide) {
    (checkNumber<T>(text, wide), ...);
}

std::optional<std::wstring> wideText(const std::string& text) {
    try {
        return FB::utf8_to_wstring(text);
    } catch (const utf8::exception&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::wstring> wide = wideText(text);
    checkNumbers<char, signed char, unsigned char, short, unsigned short, int, unsigned int, long,
                 unsigned long, long long, unsigned long long, float, double, long double>(text,
                                                                                           wide);
    const std::optional<bool> flag = read<bool>(FB::variant(text));
    require(flag.has_value());
    if (wide)
        require(read<bool>(FB::variant(*wide)) == flag);
    return 0;
}
