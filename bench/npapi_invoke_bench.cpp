// A page's call of a two-string method on the plug-in's scriptable object, as
// the browser makes it: the NPClass invoke with the method's identifier and
// two strings in the browser's memory, through to the result string in the
// browser's memory, which the browser then frees. The second form is the
// road of a browser that asks has-method first: a call of the method's
// function object.

#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"
#include "NpapiPluginModule.h"
#include "NpapiResources.h"
#include "OneShotManager.h"
#include "Signer.h"

#include <testbrowser/Browser.h>
#include <testbrowser/Page.h>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <stdexcept>
#include <string>

namespace {

// A page with an instance whose host is bound as at instance creation, and
// the signer's NPObject with two browser-allocated string arguments.
class SigningPage {
public:
    SigningPage() : args(module, 2) {
        module.setNetscapeFuncs(&browser.functions());
        npp = browser.openPage("<div id='plugin'></div>").createDetachedInstance("plugin").npp();
        FB::OneShotManager::getInstance().npp_register(npp);
        host = boost::make_shared<FB::Npapi::NpapiBrowserHost>(&module, npp);
        host->setBrowserFuncs(&module.NPNFuncs);
        object = host->getJSAPIWrapper(signer, false);
        host->getNPVariant(&args[0], std::string("MTIzNDU2Nzg5MA=="));
        host->getNPVariant(&args[1], std::string("q83vEjRWeJq83vEjRWeJq83vEjQ="));
        method = browser.functions().getstringidentifier("signPkcs1");
    }
    ~SigningPage() {
        host->ReleaseObject(object);
        FB::OneShotManager::getInstance().npp_unregister(npp);
        host->shutdown();
    }

    testbrowser::Browser browser;
    FB::Npapi::NpapiPluginModule module;
    NPP npp = nullptr;
    FB::Npapi::NpapiBrowserHostPtr host;
    boost::shared_ptr<Signer> signer = boost::make_shared<Signer>();
    NPObject* object = nullptr;
    FB::Npapi::NPVariantBlock args;
    NPIdentifier method = nullptr;
};

void checkResult(bool called, const NPVariant& result) {
    if (!called || result.type != NPVariantType_String) {
        throw std::runtime_error("the call failed");
    }
}

void BM_InvokeTwoStrings(benchmark::State& state) {
    SigningPage page;
    const NPNetscapeFuncs& npn = page.browser.functions();
    for (auto _ : state) {
        NPVariant result;
        const bool called =
            page.object->_class->invoke(page.object, page.method, page.args.data(), 2, &result);
        checkResult(called, result);
        npn.releasevariantvalue(&result);
    }
}
BENCHMARK(BM_InvokeTwoStrings);

void BM_InvokeTwoStringsThroughTheFunctionObject(benchmark::State& state) {
    SigningPage page;
    const NPNetscapeFuncs& npn = page.browser.functions();
    NPVariant function;
    if (!page.object->_class->getProperty(page.object, page.method, &function)) {
        throw std::runtime_error("no function object");
    }
    NPObject* callable = function.value.objectValue;
    for (auto _ : state) {
        NPVariant result;
        const bool called = callable->_class->invokeDefault(callable, page.args.data(), 2, &result);
        checkResult(called, result);
        npn.releasevariantvalue(&result);
    }
    npn.releasevariantvalue(&function);
}
BENCHMARK(BM_InvokeTwoStringsThroughTheFunctionObject);

} // namespace

BENCHMARK_MAIN();
