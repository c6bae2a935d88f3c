#include "URI.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/lexical_cast.hpp>
#include <cstring>
#include <stdexcept>
#include <typeinfo>
#include <vector>

namespace FB {

std::map<std::string, std::string> URI::m_lhMap;
boost::mutex URI::m_lhMutex;

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool isSchemeCharacter(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '+' || c == '-' || c == '.';
}

int hexValue(char c) {
    if (isAsciiDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The byte of the escape starting at index, or -1 when no well-formed
// escape starts there.
int escapedByte(const std::string& text, std::size_t index) {
    if (text[index] != '%' || index + 2 >= text.size()) {
        return -1;
    }
    const int high = hexValue(text[index + 1]);
    const int low = hexValue(text[index + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Bytes whose escape a path keeps: decoding them would merge components,
// cut the text at a NUL, or make a later escape ambiguous.
bool isKeptInPath(int byte) {
    return byte == '%' || byte == '/' || byte == 0;
}

bool neverKept(int) {
    return false;
}

std::string decode(const std::string& in, bool (*keepEscaped)(int)) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t index = 0; index < in.size(); ++index) {
        const int byte = escapedByte(in, index);
        if (byte < 0) {
            out += in[index];
        } else if (keepEscaped(byte)) {
            out.append(in, index, 3);
            index += 2;
        } else {
            out += static_cast<char>(byte);
            index += 2;
        }
    }
    return out;
}

// A component is plain text: each of its "%" is stored as the escape of
// "%", so that none reads as an escape the path keeps.
std::string literalInPath(const std::string& component) {
    std::string out;
    out.reserve(component.size());
    for (const char c : component) {
        if (c == '%') {
            out += "%25";
        } else {
            out += c;
        }
    }
    return out;
}

void appendEncoded(std::string& out, char c) {
    static const char* const unreserved = "+$-_.!*'(),/";
    static const char* const hexDigits = "0123456789abcdef";
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 1 && byte <= 127 &&
        (isAsciiLetter(c) || isAsciiDigit(c) || std::strchr(unreserved, c) != nullptr)) {
        out += c;
        return;
    }
    out += '%';
    out += hexDigits[byte >> 4];
    out += hexDigits[byte & 0x0f];
}

std::string encodePath(const std::string& path) {
    std::string out;
    for (std::size_t index = 0; index < path.size(); ++index) {
        if (isKeptInPath(escapedByte(path, index))) {
            out.append(path, index, 3);
            index += 2;
        } else {
            appendEncoded(out, path[index]);
        }
    }
    return out;
}

// A backslash that starts the path is the separator the parser took it for,
// as browsers do, and is written as the "/" it stands for: its escape would
// join the host name instead.
std::string formatPath(const std::string& path) {
    if (!path.empty() && path[0] == '\\') {
        return "/" + encodePath(path.substr(1));
    }
    return encodePath(path);
}

std::uint16_t parsePort(const std::string& text) {
    const int port = boost::lexical_cast<int>(text);
    if (port < 0 || port > 0xffff) {
        throw boost::bad_lexical_cast(typeid(std::string), typeid(std::uint16_t));
    }
    return static_cast<std::uint16_t>(port);
}

const std::string& loopbackText() {
    static const std::string text = boost::asio::ip::address_v4::loopback().to_string();
    return text;
}

} // namespace

URI::URI(const std::string& str) {
    std::string rest = str;
    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        protocol = asciiLower(rest.substr(0, schemeEnd));
        rest.erase(0, schemeEnd + 3);
    }
    for (const char c : protocol) {
        if (!isSchemeCharacter(c)) {
            throw std::runtime_error("URI: invalid characters in protocol part");
        }
    }
    if (protocol != "file") {
        splitHostPart(rest);
    }
    const std::size_t hash = rest.find('#');
    if (hash != std::string::npos) {
        fragment = rest.substr(hash + 1);
        rest.erase(hash);
    }
    const std::size_t question = rest.find('?');
    if (question != std::string::npos) {
        parse_query_data(rest.substr(question + 1));
        rest.erase(question);
    }
    path = decode(rest, &isKeptInPath);
}

// The host part ends where the path, the query or the fragment begins; the
// path then starts with its separator, "/" when the URL has none.
void URI::splitHostPart(std::string& rest) {
    const std::size_t hostEnd = rest.find_first_of("/\\?#");
    std::string hostPart = rest.substr(0, hostEnd);
    rest = hostEnd == std::string::npos ? std::string() : rest.substr(hostEnd);
    if (rest.empty() || rest[0] == '?' || rest[0] == '#') {
        rest.insert(0, "/");
    }
    const std::size_t at = hostPart.find('@');
    if (at != std::string::npos) {
        login = hostPart.substr(0, at);
        hostPart.erase(0, at + 1);
    }
    splitPort(hostPart);
    domain = asciiLower(domain);
}

// A bracketed IPv6 literal keeps its colons; the port follows the "]".
void URI::splitPort(const std::string& hostPart) {
    const std::size_t searchFrom = hostPart.compare(0, 1, "[") == 0 ? hostPart.find(']') : 0;
    const std::size_t colon = hostPart.find(':', searchFrom);
    if (colon == std::string::npos) {
        domain = hostPart;
        return;
    }
    domain = hostPart.substr(0, colon);
    port = parsePort(hostPart.substr(colon + 1));
}

URI URI::fromString(const std::string& str) {
    return URI(str);
}

std::string URI::toString(bool includeDomainPart) const {
    std::string out;
    if (includeDomainPart) {
        out += protocol + "://";
        // A host name holding an "@" followed an empty login and its "@":
        // without that "@" the text before the host's own would read as
        // the login.
        if (!login.empty() || domain.find('@') != std::string::npos) {
            out += login + "@";
        }
        out += domain;
        if (port != 0) {
            out += ":" + std::to_string(port);
        }
    }
    out += formatPath(path);
    char separator = '?';
    for (const auto& entry : query_data) {
        out += separator + url_encode(entry.first) + "=" + url_encode(entry.second);
        separator = '&';
    }
    if (!fragment.empty()) {
        out += "#" + fragment;
    }
    return out;
}

std::string URI::url_encode(const std::string& in) {
    std::string out;
    for (const char c : in) {
        appendEncoded(out, c);
    }
    return out;
}

std::string URI::url_decode(const std::string& in) {
    return decode(in, &neverKept);
}

// Empty pieces (from "&&", a leading or trailing "&", or an empty text)
// name no parameter and are skipped.
void URI::parse_query_data(const std::string& in) {
    std::vector<std::string> pieces;
    boost::split(pieces, in, boost::is_any_of("&"), boost::token_compress_on);
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            continue;
        }
        std::vector<std::string> parts;
        boost::split(parts, piece, boost::is_any_of("="), boost::token_compress_on);
        const std::string value = parts.size() > 1 ? url_decode(parts[1]) : std::string();
        query_data[url_decode(parts[0])] = value;
    }
}

bool URI::operator==(const URI& other) const {
    return protocol == other.protocol && login == other.login && domain == other.domain &&
           port == other.port && path == other.path && fragment == other.fragment &&
           query_data == other.query_data;
}

void URI::appendPathComponent(const std::string& pc) {
    if (pc.empty()) {
        return;
    }
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    if (pc[0] != '/') {
        path += '/';
    }
    path += literalInPath(pc);
}

std::string URI::filename() const {
    if (path.empty() || path.back() == '/') {
        return std::string();
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void URI::resetValidLocalhost() {
    boost::mutex::scoped_lock lock(m_lhMutex);
    m_lhMap.clear();
}

void URI::registerValidLocalhost(std::string name, std::string address) {
    if (address.empty()) {
        address = loopbackText();
    }
    boost::mutex::scoped_lock lock(m_lhMutex);
    m_lhMap[name] = address;
}

// Every test resolves its own host name, so that one name's answer is never
// given for another.
bool URI::isLocalhost() const {
    {
        boost::mutex::scoped_lock lock(m_lhMutex);
        if (m_lhMap.count(domain) == 0) {
            return false;
        }
    }
    if (domain == loopbackText()) {
        return true;
    }
    using boost::asio::ip::tcp;
    boost::asio::io_context io;
    tcp::resolver resolver(io);
    const tcp::resolver::results_type results =
        resolver.resolve(tcp::v4(), domain, "80", tcp::resolver::numeric_service);
    return !results.empty() &&
           results.begin()->endpoint().address() == boost::asio::ip::address_v4::loopback();
}

} // namespace FB
