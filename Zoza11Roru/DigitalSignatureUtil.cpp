#include "DigitalSignatureUtil.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <tuple>
#include <utility>

std::map<std::string, PinInfoStruct> gPines;

namespace {

template <typename Test> std::vector<std::string> pinModulesWhere(Test test) {
    std::vector<std::string> names;
    for (const auto& entry : gPines)
        if (test(entry.second))
            names.push_back(entry.first);
    return names;
}

// Overwrites the PIN in place with "X", one per character. The stores go
// through a volatile pointer, so the compiler cannot drop them as dead
// although the buffer is released or reused right after.
void overwritePin(std::string& pin) {
    volatile char* bytes = &pin[0];
    for (std::string::size_type i = 0; i < pin.size(); ++i)
        bytes[i] = 'X';
}

bool isMissing(const PinInfoStruct& info) {
    return info.pin.empty();
}
bool isRefused(const PinInfoStruct& info) {
    return info.invalid;
}

// Other spellings of an attribute name that some issuers write.
std::string canonicalAttributeName(const std::string& name) {
    // The second is the Latin-1 spelling, with the single byte 0xFA for the accent.
    if (name == "identificador de objeto (2 5 4 5)" || name == "n\xfamero de serie" ||
        name == "oid.2.5.4.5")
        return "serialnumber";
    if (name == "s")
        return "st";
    return name;
}

} // namespace

bool MissingPin() {
    return std::any_of(gPines.begin(), gPines.end(),
                       [](const auto& entry) { return isMissing(entry.second); });
}

bool InvalidPin() {
    return std::any_of(gPines.begin(), gPines.end(),
                       [](const auto& entry) { return isRefused(entry.second); });
}

void ErasePines() {
    for (auto& entry : gPines)
        overwritePin(entry.second.pin);
    gPines.clear();
}

DigitalSignatureUtil::DigitalSignatureUtil() : lastError(0), lastLowLevelError(0) {}

DigitalSignatureUtil::~DigitalSignatureUtil() {}

void DigitalSignatureUtil::SetPin(const std::string& name, const std::string& pin) {
    // The entry is made in place and the PIN copied straight into it, so no
    // temporary copy of a short PIN is left behind on the stack.
    const auto entry = gPines.emplace(std::piecewise_construct, std::forward_as_tuple(name),
                                      std::forward_as_tuple());
    PinInfoStruct& info = entry.first->second;
    if (!entry.second) {
        if (info.pin == pin)
            return;
        // The old PIN does not linger in the string's buffer.
        overwritePin(info.pin);
    }
    info.pin = pin;
    info.invalid = false;
}

bool DigitalSignatureUtil::MissingPin() const {
    return ::MissingPin();
}

bool DigitalSignatureUtil::InvalidPin() const {
    return ::InvalidPin();
}

std::vector<std::string> DigitalSignatureUtil::MissingPines() const {
    return pinModulesWhere(isMissing);
}

std::vector<std::string> DigitalSignatureUtil::InvalidPines() const {
    return pinModulesWhere(isRefused);
}

int DigitalSignatureUtil::InvalidPinRetries(const std::string& name) const {
    auto found = gPines.find(name);
    return found == gPines.end() ? 0 : found->second.retries;
}

std::string DigitalSignatureUtil::trim(std::string& text) const {
    std::string result;
    bool spacePending = false;
    for (unsigned char byte : text) {
        if (byte == ' ') {
            spacePending = !result.empty();
            continue;
        }
        if (spacePending)
            result += ' ';
        spacePending = false;
        result += static_cast<char>(std::tolower(byte));
    }
    return result;
}

DigitalSignatureUtil::NameMap DigitalSignatureUtil::GetNameValueMap(std::string text) const {
    NameMap name;
    std::string token;
    std::string attribute;
    for (char byte : text) {
        if (byte == '=') {
            attribute = canonicalAttributeName(trim(token));
            token.clear();
        } else if (byte == ',') {
            name[attribute] = trim(token);
            token.clear();
        } else {
            token += byte;
        }
    }
    name[attribute] = trim(token);
    return name;
}

DigitalSignatureUtil::NameList DigitalSignatureUtil::GetNameValueMaps(std::string& text) const {
    NameList names;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = std::min(text.find('|', start), text.size());
        std::string piece = text.substr(start, end - start);
        std::string normalised = trim(piece);
        if (!normalised.empty())
            names.push_back(GetNameValueMap(normalised));
        start = end + 1;
    }
    return names;
}

bool DigitalSignatureUtil::AreMatch(NameMap a, NameMap b) const {
    return a == b;
}

void DigitalSignatureUtil::PrintDistinguishedName(NameMap& name) const {
    for (const auto& entry : name)
        std::printf("%s=%s,", entry.first.c_str(), entry.second.c_str());
    std::printf("\n");
}

bool DigitalSignatureUtil::HasDistinguishedName(NameList names, NameMap name) const {
    return std::any_of(names.begin(), names.end(),
                       [&](const NameMap& candidate) { return AreMatch(candidate, name); });
}
