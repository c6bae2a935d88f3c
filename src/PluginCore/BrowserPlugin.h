#pragma once

// FB::BrowserPlugin: the base of a binding's per-instance plug-in object.
// It has the factory make the instance's plug-in core and owns it.

#include "PluginCore.h"

#include <boost/noncopyable.hpp>
#include <string>

namespace FB {

class BrowserPlugin : private boost::noncopyable {
public:
    // Raises what the factory raises, and std::runtime_error when the
    // factory makes no plug-in core.
    explicit BrowserPlugin(const std::string& mimetype);
    virtual ~BrowserPlugin() = default;

    // Ends the instance.
    virtual void shutdown() = 0;
    // Keeps the plug-in's file path for the process and hands it to the core.
    virtual void setFSPath(const std::string& path);

protected:
    PluginCorePtr pluginMain;
    static std::string fileSystemPath;
};

} // namespace FB
