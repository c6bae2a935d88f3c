// The factory's defaults for the windows of the Core Animation models,
// which this platform layer does not offer.

#include "FactoryBase.h"

namespace FB {

PluginWindowMac* createPluginWindowMacICA() {
    return nullptr;
}

PluginWindowMac* createPluginWindowMacCA() {
    return nullptr;
}

} // namespace FB
