#include "NpapiFakes.h"

#include <boost/make_shared.hpp>

namespace FB {

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
