#include "Factory.h"

#include "Velmora.h"

#include <boost/make_shared.hpp>

boost::shared_ptr<FB::PluginCore> PluginFactory::createPlugin(const std::string& /*mimetype*/) {
    return boost::make_shared<Velmora>();
}

void PluginFactory::globalPluginInitialize() {
    Velmora::StaticInitialize();
}

void PluginFactory::globalPluginDeinitialize() {
    Velmora::StaticDeinitialize();
}

// Made on the first call; the run time guards the initialisation, so
// concurrent first calls make one factory.
FB::FactoryBasePtr getFactoryInstance() {
    static const boost::shared_ptr<PluginFactory> factory = boost::make_shared<PluginFactory>();
    return factory;
}
