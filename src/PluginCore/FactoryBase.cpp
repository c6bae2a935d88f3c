#include "FactoryBase.h"

namespace FB {

boost::shared_ptr<Npapi::NpapiPlugin>
FactoryBase::createNpapiPlugin(const Npapi::NpapiBrowserHostPtr& host,
                               const std::string& mimetype) {
    return Npapi::createNpapiPlugin(host, mimetype);
}

void FactoryBase::getLoggingMethods(Log::LogMethodList& outMethods) {
    outMethods.push_back(std::make_pair(Log::LogMethod_Console, std::string()));
}

Log::LogLevel FactoryBase::getLogLevel() {
    return Log::LogLevel_Info;
}

PluginWindowMac* FactoryBase::createPluginWindowMacICA() {
    return FB::createPluginWindowMacICA();
}

PluginWindowMac* FactoryBase::createPluginWindowMacCA() {
    return FB::createPluginWindowMacCA();
}

PluginWindowMac* FactoryBase::createPluginWindowMacCG() {
    return FB::createPluginWindowMacCG();
}

PluginEventMac* FactoryBase::createPluginEventMacCocoa() {
    return FB::createPluginEventMacCocoa();
}

std::string FactoryBase::getPluginName(const std::string& mimetype) {
    return FB::getPluginName(mimetype);
}

std::string FactoryBase::getPluginName() {
    return getPluginName("");
}

std::string FactoryBase::getPluginDescription(const std::string& mimetype) {
    return FB::getPluginDescription(mimetype);
}

std::string FactoryBase::getPluginDescription() {
    return getPluginDescription("");
}

} // namespace FB
