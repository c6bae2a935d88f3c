#include "NpapiFakes.h"

#include <boost/make_shared.hpp>

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

std::string getPluginName(const std::string&) {
    return "Binding test plug-in";
}

std::string getPluginDescription(const std::string&) {
    return "Plug-in of the binding's tests";
}

} // namespace FB

namespace npapitest {

boost::shared_ptr<TestFactory> testFactory() {
    static const boost::shared_ptr<TestFactory> factory = boost::make_shared<TestFactory>();
    return factory;
}

} // namespace npapitest

FB::FactoryBasePtr getFactoryInstance() {
    return npapitest::testFactory();
}
