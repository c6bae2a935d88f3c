#include "NpapiFakes.h"

#include "TestPlugin.h"

#include <boost/make_shared.hpp>

namespace npapitest {

const char* const testMimeType = "application/x-velmora-test";
const char* const testDescription = "Plug-in of the binding's tests";
const char* const testPluginName = "Binding test plug-in";

boost::shared_ptr<FB::PluginCore> TestFactory::createPlugin(const std::string&) {
    if (makeNoCore) {
        return boost::shared_ptr<FB::PluginCore>();
    }
    return boost::make_shared<TestPluginCore>();
}

boost::shared_ptr<FB::Npapi::NpapiPlugin>
TestFactory::createNpapiPlugin(const FB::Npapi::NpapiBrowserHostPtr& host,
                               const std::string& mimetype) {
    if (pluginMaker) {
        return pluginMaker(host, mimetype);
    }
    return FB::FactoryBase::createNpapiPlugin(host, mimetype);
}

boost::shared_ptr<TestFactory> testFactory() {
    static const boost::shared_ptr<TestFactory> factory = boost::make_shared<TestFactory>();
    return factory;
}

} // namespace npapitest

namespace FB {

std::string getPluginName(const std::string& mimetype) {
    npapitest::testFactory()->nameRequests.push_back(mimetype);
    return npapitest::testPluginName;
}

std::string getPluginDescription(const std::string& mimetype) {
    npapitest::testFactory()->descriptionRequests.push_back(mimetype);
    return mimetype == npapitest::testMimeType ? npapitest::testDescription : "";
}

std::string getPluginMimeType() {
    return npapitest::testMimeType;
}

bool pluginGuiEnabled() {
    return npapitest::testFactory()->guiEnabled;
}

} // namespace FB

FB::FactoryBasePtr getFactoryInstance() {
    return npapitest::testFactory();
}
