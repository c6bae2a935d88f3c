// The proxy detector of a platform without system proxy settings: every URL
// goes direct.

#include "SystemProxyDetector.h"

namespace FB {
namespace {

class NullProxyDetector : public SystemProxyDetector {
public:
    bool detectProxy(std::map<std::string, std::string>&, const std::string&) override {
        return false;
    }
};

} // namespace

SystemProxyDetector* SystemProxyDetector::get() {
    static NullProxyDetector detector;
    return &detector;
}

} // namespace FB
