#pragma once

// What a product supplies to the binding, for the binding's tests, its test
// module and its benchmark: a factory making the test plug-in (with knobs
// for the tests), counting the module's start and end, and the plug-in's
// metadata.

#include "FactoryBase.h"
#include "NpapiBrowserHost.h"
#include "NpapiPlugin.h"

#include <boost/shared_ptr.hpp>
#include <functional>
#include <string>
#include <vector>

namespace npapitest {

// The MIME type the test plug-in registers, and its description.
extern const char* const testMimeType;
extern const char* const testDescription;
extern const char* const testPluginName;

class TestFactory : public FB::FactoryBase {
public:
    typedef std::function<boost::shared_ptr<FB::Npapi::NpapiPlugin>(
        const FB::Npapi::NpapiBrowserHostPtr&, const std::string&)>
        PluginMaker;

    // A TestPluginCore, unless makeNoCore.
    boost::shared_ptr<FB::PluginCore> createPlugin(const std::string& mimetype) override;
    // The platform's plug-in object, unless a test names another maker.
    boost::shared_ptr<FB::Npapi::NpapiPlugin>
    createNpapiPlugin(const FB::Npapi::NpapiBrowserHostPtr& host,
                      const std::string& mimetype) override;
    void globalPluginInitialize() override { ++initializations; }
    void globalPluginDeinitialize() override { ++deinitializations; }

    int initializations = 0;
    int deinitializations = 0;
    bool makeNoCore = false;
    PluginMaker pluginMaker;
    // What FB::pluginGuiEnabled answers.
    bool guiEnabled = false;
    // The MIME types and descriptions the factory was asked about.
    std::vector<std::string> nameRequests;
    std::vector<std::string> descriptionRequests;
};

// The factory getFactoryInstance answers.
boost::shared_ptr<TestFactory> testFactory();

} // namespace npapitest
