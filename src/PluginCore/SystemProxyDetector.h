#pragma once

// FB::SystemProxyDetector: asks the operating system which proxy a URL would
// go through. Each platform supplies the process-wide detector.

#include <boost/noncopyable.hpp>
#include <map>
#include <string>

namespace FB {

class SystemProxyDetector : private boost::noncopyable {
public:
    // The platform's detector, made on first use and kept for the process.
    static SystemProxyDetector* get();

    virtual ~SystemProxyDetector() = default;

    // Fills settings with "type", "hostname" and "port" (decimal text);
    // true when a proxy was found.
    virtual bool detectProxy(std::map<std::string, std::string>& settings,
                             const std::string& url) = 0;
};

} // namespace FB
