#pragma once

// What the product supplies to a program that links the binding, as its
// tests and benchmarks need it: a factory that makes no plug-in and counts
// the module's start and end, and the plug-in's name and description.

#include "FactoryBase.h"

#include <boost/shared_ptr.hpp>
#include <string>

namespace npapitest {

class TestFactory : public FB::FactoryBase {
public:
    boost::shared_ptr<FB::PluginCore> createPlugin(const std::string&) override {
        return boost::shared_ptr<FB::PluginCore>();
    }
    void globalPluginInitialize() override { ++initializations; }
    void globalPluginDeinitialize() override { ++deinitializations; }

    int initializations = 0;
    int deinitializations = 0;
};

// The factory getFactoryInstance answers.
boost::shared_ptr<TestFactory> testFactory();

} // namespace npapitest
