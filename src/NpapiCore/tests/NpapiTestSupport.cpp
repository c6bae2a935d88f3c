#include "NpapiTestSupport.h"

#include "NpapiResources.h"
#include "OneShotManager.h"

#include <testbrowser/Page.h>

#include <MacStandIn/RunLoop.h>

#include <boost/make_shared.hpp>
#include <chrono>
#include <cstring>

namespace npapitest {

const char* const defaultPage = "<html><body><div id='plugin'></div></body></html>";

TestAPI::TestAPI() : FB::JSAPIAuto("<TestAPI>") {
    registerMethod("concat", FB::make_method(this, &TestAPI::concat));
    registerMethod("echo", FB::make_method(this, &TestAPI::echo));
    registerMethod("fail", FB::make_method(this, &TestAPI::fail));
    registerMethod("failPlain", FB::make_method(this, &TestAPI::failPlain));
    registerMethod("failOther", FB::make_method(this, &TestAPI::failOther));
    registerMethod("fire", FB::make_method(this, &TestAPI::fire));
    registerProperty("name", FB::make_property(this, &TestAPI::getName, &TestAPI::setName));
}

BrowserFixture::BrowserFixture(testbrowser::BrowserOptions options, std::string html)
    : browser(std::move(options)), html(std::move(html)) {}

void BrowserFixture::SetUp() {
    module.setNetscapeFuncs(&browser.functions());
    page = &browser.openPage(html);
    npp = page->createDetachedInstance("plugin").npp();
    host = makeHost(npp);
}

void BrowserFixture::TearDown() {
    dropHost(host, npp);
    browser.closePage();
    module.DoDeferredRelease();
    if (expectClean) {
        EXPECT_TRUE(browser.clean()) << browser.leakReport();
    }
}

FB::Npapi::NpapiBrowserHostPtr BrowserFixture::makeHost(NPP instance) {
    FB::OneShotManager::getInstance().npp_register(instance);
    const auto made = boost::make_shared<FB::Npapi::NpapiBrowserHost>(&module, instance);
    made->setBrowserFuncs(&module.NPNFuncs);
    return made;
}

void BrowserFixture::dropHost(FB::Npapi::NpapiBrowserHostPtr& dropped, NPP instance) {
    if (dropped) {
        dropped->shutdown();
        dropped.reset();
    }
    FB::OneShotManager::getInstance().npp_unregister(instance);
}

NPVariant BrowserFixture::evaluate(const std::string& script) {
    NPObject* window = page->windowObject();
    NPString source{script.c_str(), static_cast<uint32_t>(script.size())};
    NPVariant result;
    EXPECT_TRUE(browser.functions().evaluate(npp, window, &source, &result)) << script;
    browser.functions().releaseobject(window);
    return result;
}

FB::variant BrowserFixture::pageValue(const std::string& script) {
    NPVariant value = evaluate(script);
    FB::variant converted = host->getVariant(&value);
    browser.functions().releasevariantvalue(&value);
    return converted;
}

NPObject* BrowserFixture::expose(const FB::JSAPIPtr& api, const std::string& name) {
    NPObject* object = host->getJSAPIWrapper(api, true);
    NPObject* window = page->windowObject();
    NPVariant value;
    value.type = NPVariantType_Object;
    value.value.objectValue = object;
    EXPECT_TRUE(browser.functions().setproperty(npp, window, id(name), &value));
    browser.functions().releaseobject(window);
    browser.functions().releaseobject(object);
    return object;
}

NPIdentifier BrowserFixture::id(const std::string& name) {
    return browser.functions().getstringidentifier(name.c_str());
}

bool BrowserFixture::runUntil(const std::function<bool()>& done) {
    return browser.runUntil(done, std::chrono::seconds(10), std::chrono::seconds(5));
}

void BrowserFixture::wakeMainLoop() {
    macos::RunLoop::main().post([] {});
}

std::string text(const NPVariant& value) {
    if (value.type != NPVariantType_String) {
        return "(not a string)";
    }
    return std::string(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
}

std::string messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

} // namespace npapitest
