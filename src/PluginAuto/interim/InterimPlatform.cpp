// The platform's part of a module until the macOS layer takes its place: the
// plain NPAPI plug-in object, and neither windows nor an event translator.

#include "FactoryBase.h"
#include "NpapiPlugin.h"

#include <boost/make_shared.hpp>

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

} // namespace FB
