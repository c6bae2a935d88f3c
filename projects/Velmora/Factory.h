#pragma once

// PluginFactory: the product's one factory. It makes a Velmora for every
// instance the browser creates and runs the plug-in's start and end hooks;
// everything else is the framework's default.

#include "FactoryBase.h"

#include <boost/shared_ptr.hpp>
#include <string>

class PluginFactory : public FB::FactoryBase {
public:
    // A new Velmora, whatever the MIME type.
    boost::shared_ptr<FB::PluginCore> createPlugin(const std::string& mimetype) override;
    void globalPluginInitialize() override;
    void globalPluginDeinitialize() override;
};
