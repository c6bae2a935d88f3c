#include "BrowserPlugin.h"

#include "FactoryBase.h"

#include <stdexcept>

namespace FB {

namespace {

PluginCorePtr makePluginCore(const std::string& mimetype) {
    const FactoryBasePtr factory = getFactoryInstance();
    const PluginCorePtr core = factory ? factory->createPlugin(mimetype) : PluginCorePtr();
    if (!core) {
        throw std::runtime_error("The factory made no plug-in for " + mimetype);
    }
    return core;
}

} // namespace

std::string BrowserPlugin::fileSystemPath;

BrowserPlugin::BrowserPlugin(const std::string& mimetype) : pluginMain(makePluginCore(mimetype)) {}

void BrowserPlugin::setFSPath(const std::string& path) {
    fileSystemPath = path;
    pluginMain->setFSPath(path);
}

} // namespace FB
