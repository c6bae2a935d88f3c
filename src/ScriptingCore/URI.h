#pragma once

// FB::URI: a URL split into scheme, login, host, port, path, query
// parameters and fragment, with percent-encoding and decoding, formatting
// back to text, and a registry of host names taken for the local machine.

#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <map>
#include <string>

namespace FB {

class URI {
public:
    // Raises std::runtime_error for a scheme with other characters than
    // letters, digits, "+", "-" and ".", and boost::bad_lexical_cast for a
    // port that is no whole number from 0 to 65535.
    explicit URI(const std::string& str);

    static URI fromString(const std::string& str);

    // The URL as text; with includeDomainPart the scheme, login, host and
    // port come first, otherwise it starts with the path.
    std::string toString(bool includeDomainPart) const;

    static std::string url_encode(const std::string& in);
    static std::string url_decode(const std::string& in);

    // Adds the decoded parameters of a query text (without its "?").
    void parse_query_data(const std::string& in);

    bool operator==(const URI& other) const;

    // Appends pc as plain text after one "/"; each "%" in it is stored as
    // "%25".
    void appendPathComponent(const std::string& pc);
    // The last component of the path; empty when the path ends with "/".
    std::string filename() const;

    static void resetValidLocalhost();
    // An empty address stands for the IPv4 loopback address.
    static void registerValidLocalhost(std::string name, std::string address);
    // Whether the host is a registered local name that is the loopback
    // address or resolves to it first. Raises boost::system::system_error
    // when the name cannot be resolved.
    bool isLocalhost() const;

    // Lower case.
    std::string protocol;
    std::string login;
    // Lower case.
    std::string domain;
    // 0 when the URL names none.
    std::uint16_t port = 0;
    // Decoded, except for the escapes of "%", "/" and the byte 0, which
    // stay as written so that the path keeps its components and no byte
    // that would end a C string.
    std::string path;
    std::map<std::string, std::string> query_data;
    // As written.
    std::string fragment;

private:
    void splitHostPart(std::string& rest);
    void splitPort(const std::string& hostPart);

    static std::map<std::string, std::string> m_lhMap;
    static boost::mutex m_lhMutex;
};

} // namespace FB
