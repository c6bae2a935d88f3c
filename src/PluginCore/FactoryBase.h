#pragma once

// FB::FactoryBase: what a product and a platform supply to the framework:
// the product's plug-in core, the binding's plug-in object, the platform's
// window and event translator, the plug-in's name and description, the
// logging settings and the hooks run when the module starts and ends. One
// factory serves the whole process, through getFactoryInstance.

#include "logging.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <list>
#include <string>
#include <utility>

namespace FB {

class PluginCore;
class PluginWindowMac;
class PluginEventMac;

namespace Npapi {
class NpapiPlugin;
class NpapiBrowserHost;
typedef boost::shared_ptr<NpapiBrowserHost> NpapiBrowserHostPtr;

// The platform's plug-in object for one instance.
boost::shared_ptr<NpapiPlugin> createNpapiPlugin(const NpapiBrowserHostPtr& host,
                                                 const std::string& mimetype);
} // namespace Npapi

// The platform's windows and event translator, newly allocated (or null);
// the caller owns them.
PluginWindowMac* createPluginWindowMacICA();
PluginWindowMac* createPluginWindowMacCA();
PluginWindowMac* createPluginWindowMacCG();
PluginEventMac* createPluginEventMacCocoa();

// The plug-in's metadata: its name, the description registered for a MIME
// type, the MIME type it registers, and whether it has a user interface of
// its own (without one the browser's window calls are not passed on).
std::string getPluginName(const std::string& mimetype);
std::string getPluginDescription(const std::string& mimetype);
std::string getPluginMimeType();
bool pluginGuiEnabled();

namespace Log {
typedef std::list<std::pair<LogMethod, std::string>> LogMethodList;
} // namespace Log

class FactoryBase : private boost::noncopyable {
public:
    virtual ~FactoryBase() = default;

    virtual boost::shared_ptr<PluginCore> createPlugin(const std::string& mimetype) = 0;
    // Run once when the first module of the process is created.
    virtual void globalPluginInitialize() {}
    // Run once when the last module is released.
    virtual void globalPluginDeinitialize() {}
    virtual boost::shared_ptr<Npapi::NpapiPlugin>
    createNpapiPlugin(const Npapi::NpapiBrowserHostPtr& host, const std::string& mimetype);
    // Appends the console method with no settings; entries already there stay.
    virtual void getLoggingMethods(Log::LogMethodList& outMethods);
    virtual Log::LogLevel getLogLevel();
    virtual PluginWindowMac* createPluginWindowMacICA();
    virtual PluginWindowMac* createPluginWindowMacCA();
    virtual PluginWindowMac* createPluginWindowMacCG();
    virtual PluginEventMac* createPluginEventMacCocoa();

    std::string getPluginName(const std::string& mimetype);
    std::string getPluginName();
    std::string getPluginDescription(const std::string& mimetype);
    std::string getPluginDescription();
};

typedef boost::shared_ptr<FactoryBase> FactoryBasePtr;

} // namespace FB

// The process's factory, supplied by the product.
FB::FactoryBasePtr getFactoryInstance();
