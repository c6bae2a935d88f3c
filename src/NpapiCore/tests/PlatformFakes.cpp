// The platform layer's makers of the plug-in object, windows and event
// translator, for programs that link the plug-in core without that layer:
// they make nothing.
#include "FactoryBase.h"

#include <boost/shared_ptr.hpp>

namespace FB {

namespace Npapi {
boost::shared_ptr<NpapiPlugin> createNpapiPlugin(const NpapiBrowserHostPtr&, const std::string&) {
    return boost::shared_ptr<NpapiPlugin>();
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
