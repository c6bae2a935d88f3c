#include "SystemProxyDetectorMac.h"

#include "MacResources.h"
#include "URI.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <boost/optional.hpp>
#include <boost/scoped_ptr.hpp>
#include <string>
#include <vector>

namespace FB {

namespace {

typedef Mac::Owned<const CFDictionaryObject, CFRelease> ProxyDictionary;

// The keys of one kind of proxy in the system's dictionary.
struct ProxyKind {
    const char* type;
    CFStringRef enable;
    CFStringRef host;
    CFStringRef port;
};

// The string's UTF-8 text; none for a missing string or one that cannot
// be converted.
boost::optional<std::string> conv_cfstring(CFStringRef string) {
    if (!string) {
        return boost::none;
    }
    const CFIndex length = CFStringGetLength(string);
    if (length < 0) {
        return boost::none;
    }
    // A UTF-16 unit takes at most three bytes of UTF-8 (a surrogate pair,
    // two units, takes four), and one more for the terminator.
    std::vector<char> buffer(static_cast<size_t>(length) * 3 + 1, '\0');
    if (!CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()),
                            kCFStringEncodingUTF8)) {
        return boost::none;
    }
    return std::string(buffer.data());
}

// The number as a signed 32-bit integer; 0 when there is none.
int cfnumber_to_int(CFNumberRef number) {
    int value = 0;
    if (number) {
        CFNumberGetValue(number, kCFNumberIntType, &value);
    }
    return value;
}

const void* entry(const ProxyDictionary& proxies, CFStringRef key) {
    return CFDictionaryGetValue(proxies.get(), key);
}

// Fills the settings from one kind of proxy when it is enabled and names a
// host; a kind without a usable host counts as not configured.
bool readProxy(const ProxyDictionary& proxies, const ProxyKind& kind,
               std::map<std::string, std::string>& settings) {
    if (cfnumber_to_int(static_cast<CFNumberRef>(entry(proxies, kind.enable))) == 0) {
        return false;
    }
    const boost::optional<std::string> host =
        conv_cfstring(static_cast<CFStringRef>(entry(proxies, kind.host)));
    if (!host || host->empty()) {
        return false;
    }
    settings["type"] = kind.type;
    settings["hostname"] = *host;
    settings["port"] =
        std::to_string(cfnumber_to_int(static_cast<CFNumberRef>(entry(proxies, kind.port))));
    return true;
}

} // namespace

bool SystemProxyDetectorMac::detectProxy(std::map<std::string, std::string>& settings,
                                         const std::string& url) {
    const ProxyDictionary proxies(SCDynamicStoreCopyProxies(nullptr));
    if (!proxies) {
        return false;
    }
    const std::string protocol = URI::fromString(url).protocol;
    const ProxyKind http = {"http", kSCPropNetProxiesHTTPEnable, kSCPropNetProxiesHTTPProxy,
                            kSCPropNetProxiesHTTPPort};
    const ProxyKind https = {"https", kSCPropNetProxiesHTTPSEnable, kSCPropNetProxiesHTTPSProxy,
                             kSCPropNetProxiesHTTPSPort};
    const ProxyKind socks = {"socks", kSCPropNetProxiesSOCKSEnable, kSCPropNetProxiesSOCKSProxy,
                             kSCPropNetProxiesSOCKSPort};
    if (protocol == "http" && readProxy(proxies, http, settings)) {
        return true;
    }
    if (protocol == "https" && readProxy(proxies, https, settings)) {
        return true;
    }
    return readProxy(proxies, socks, settings);
}

SystemProxyDetector* SystemProxyDetector::get() {
    static const boost::scoped_ptr<SystemProxyDetector> detector(new SystemProxyDetectorMac());
    return detector.get();
}

} // namespace FB
