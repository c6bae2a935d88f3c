#pragma once

// FB::SystemProxyDetectorMac: the proxy a URL would go through, read from
// the system's current proxy settings: the URL's own protocol first (HTTP
// for "http", HTTPS for "https"), then SOCKS for everything else.

#include "SystemProxyDetector.h"

namespace FB {

class SystemProxyDetectorMac : public SystemProxyDetector {
public:
    // True when an enabled proxy with a host name was found; only then are
    // "type", "hostname" and "port" written. Raises what the URL parser
    // raises for a URL it refuses.
    bool detectProxy(std::map<std::string, std::string>& settings, const std::string& url) override;
};

} // namespace FB
