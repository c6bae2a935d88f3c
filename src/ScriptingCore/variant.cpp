#include "variant.h"

#include "utf8_tools.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

namespace FB {

namespace {

// Numbers become text through one insertion into a default output stream.
template <typename T> bool format_if_held(const variant& var, std::string& text) {
    if (!var.is_of_type<T>()) {
        return false;
    }
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << var.cast<T>();
    if (stream.fail()) {
        throw bad_variant_cast(var.get_type(), typeid(std::string));
    }
    text = stream.str();
    return true;
}

// Formats the held value of the first listed type that the variant holds.
template <typename... Held> bool format_first_held(const variant& var, std::string& text) {
    return (format_if_held<Held>(var, text) || ...);
}

// Lowers the letters A to Z and nothing else, as the classic locale does.
template <typename Char> std::basic_string<Char> lower_ascii(std::basic_string<Char> text) {
    for (Char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<Char>(c - 'A' + 'a');
        }
    }
    return text;
}

const char* const trueWords[] = {"y", "1", "yes", "true", "t"};
const wchar_t* const trueWideWords[] = {L"y", L"1", L"yes", L"true", L"t"};

template <typename Char, std::size_t N>
bool is_true_word(const std::basic_string<Char>& text, const Char* const (&words)[N]) {
    const std::basic_string<Char> lowered = lower_ascii(text);
    return std::any_of(std::begin(words), std::end(words),
                       [&lowered](const Char* word) { return lowered == word; });
}

} // namespace

variant& variant::assign(const variant& other) {
    boost::any copy(other.object);
    object.swap(copy);
    lessthan = other.lessthan;
    return *this;
}

variant& variant::operator=(variant&& other) noexcept {
    if (this != &other) {
        object = std::move(other.object);
        lessthan = other.lessthan;
        other.lessthan = &lessthan_default;
    }
    return *this;
}

bool variant::empty() const {
    return object.empty() || is_of_type<variant_detail::empty>();
}

bool variant::is_null() const {
    return is_of_type<variant_detail::null>();
}

bool variant::operator<(const variant& rhs) const {
    if (get_type() != rhs.get_type()) {
        return std::strcmp(get_type().name(), rhs.get_type().name()) < 0;
    }
    return lessthan(object, rhs.object);
}

bool variant::lessthan_default(const boost::any&, const boost::any&) {
    return false;
}

template <> std::string variant::convert_cast<std::string>() const {
    if (is_of_type<std::string>()) {
        return cast<std::string>();
    }
    std::string text;
    if (format_first_held<double, float, int, unsigned int>(*this, text)) {
        return text;
    }
    if (is_of_type<bool>()) {
        return cast<bool>() ? "true" : "false";
    }
    if (is_of_type<std::wstring>()) {
        return wstring_to_utf8(cast<std::wstring>());
    }
    if (format_first_held<long, unsigned long, short, unsigned short, char, unsigned char,
                          long long, unsigned long long>(*this, text)) {
        return text;
    }
    throw bad_variant_cast(get_type(), typeid(std::string));
}

template <> bool variant::convert_cast<bool>() const {
    if (is_of_type<bool>()) {
        return cast<bool>();
    }
    if (is_of_type<std::string>()) {
        return is_true_word(cast<std::string>(), trueWords);
    }
    if (is_of_type<std::wstring>()) {
        return is_true_word(cast<std::wstring>(), trueWideWords);
    }
    return convert_cast<long>() != 0;
}

namespace variant_detail {
namespace conversion {

// A null character pointer holds no text to measure; it stands for script
// null, as a null object pointer does.
variant make_variant(const char* text) {
    if (!text) {
        return variant(null(), true);
    }
    return variant(std::string(text), true);
}

variant make_variant(const wchar_t* text) {
    if (!text) {
        return variant(null(), true);
    }
    return variant(std::wstring(text), true);
}

} // namespace conversion
} // namespace variant_detail

} // namespace FB
