// The platform's part of a module until the macOS layer takes its place: the
// plain NPAPI plug-in object, neither windows nor an event translator, and
// the home folder as Foundation gives it.

#include "FactoryBase.h"
#include "NpapiPlugin.h"
#include "SystemHelpersMac.h"

#include <Foundation/Foundation.h>

#include <boost/make_shared.hpp>

namespace {

class ScopedAutoreleasePool {
public:
    ScopedAutoreleasePool() : m_pool(new NSAutoreleasePool()) {}
    ~ScopedAutoreleasePool() { m_pool->release(); }
    ScopedAutoreleasePool(const ScopedAutoreleasePool&) = delete;
    ScopedAutoreleasePool& operator=(const ScopedAutoreleasePool&) = delete;

private:
    NSAutoreleasePool* m_pool;
};

} // namespace

namespace FB {

namespace Npapi {
boost::shared_ptr<NpapiPlugin> createNpapiPlugin(const NpapiBrowserHostPtr& host,
                                                 const std::string& mimetype) {
    return boost::make_shared<NpapiPlugin>(host, mimetype);
}
} // namespace Npapi

PluginWindowMac* createPluginWindowMacICA() {
    return nullptr;
}

PluginWindowMac* createPluginWindowMacCA() {
    return nullptr;
}

PluginWindowMac* createPluginWindowMacCG() {
    return nullptr;
}

PluginEventMac* createPluginEventMacCocoa() {
    return nullptr;
}

namespace System {

// Foundation's answer is autoreleased into a pool of the call's own.
std::string getHomeDirPath() {
    const ScopedAutoreleasePool pool;
    return NSHomeDirectory()->UTF8String();
}

} // namespace System

} // namespace FB
