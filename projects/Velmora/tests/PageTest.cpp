// The product module in the test browser, end to end: pages list, fetch and
// sign with a SoftHSM2 token, take the PIN, hear events and get exceptions.
// After every page the browser's allocator has nothing out, and no readable
// memory of the process holds the PIN, which only the page ever types whole.
#include "EngineTestSupport.h"
#include "SecretPin.h"

#include <testbrowser/Browser.h>
#include <testbrowser/CocoaEvent.h>
#include <testbrowser/Page.h>

#include <MacStandIn/StandIn.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace std::chrono_literals;

namespace {

// "q7Rm4Tz9", each character shifted up by one.
const SecretPin secret("r8Sn5U{:");

// Whether the file is mapped into this process, as /proc/self/maps lists it.
bool mappedInProcess(const std::string& file) {
    const std::string path = std::filesystem::canonical(file).string();
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find(path) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class SigningPage : public ::testing::Test {
protected:
    typedef std::function<void(testbrowser::Browser&, testbrowser::Page&)> PageCheck;

    SigningPage() {
        token.writeCertificate(certificateDer, "0a0b");
        token.writePrivateKey(keyPem, "0a0b");
        secret.setOn(token);
    }

    void TearDown() override { EXPECT_FALSE(secret.heldInProcessMemory()); }

    // Opens the page with the module, runs it until nothing is pending and
    // checks it; then closes the page and shuts the module down, and the
    // browser must have everything back.
    void runPage(const std::string& file, const PageCheck& check) {
        testbrowser::Browser browser;
        browser.loadModule(VELMORA_MODULE);
        testbrowser::Page& page = browser.openPage(fill(readFile(PAGES "/" + file)));
        ASSERT_TRUE(browser.runUntilIdle(10s));
        EXPECT_EQ(browser.pageErrors(), std::vector<std::string>());
        check(browser, page);
        browser.closePage();
        EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR);
        EXPECT_TRUE(browser.clean()) << browser.leakReport();
    }

    std::string hashOf(std::size_t length) const { return toBase64(std::string(length, 'h')); }
    void expectSignatureOf(std::size_t hashLength, const std::string& signature,
                           const std::string& digest) {
        expectValidSignature(keyPem, std::string(hashLength, 'h'), signature, digest,
                             token.folder());
    }

    // The page's text with the test's values in place of its {{NAME}}s.
    std::string fill(std::string html) const {
        const std::map<std::string, std::string> values = {
            {"{{CERT_ID}}", certId},    {"{{PIN_KEYS}}", pinKeys()}, {"{{HASH16}}", hashOf(16)},
            {"{{HASH20}}", hashOf(20)}, {"{{HASH32}}", hashOf(32)},  {"{{HASH33}}", hashOf(33)}};
        for (const auto& value : values) {
            for (std::size_t at = html.find(value.first); at != std::string::npos;
                 at = html.find(value.first, at)) {
                html.replace(at, value.first.size(), value.second);
            }
        }
        return html;
    }

    // The PIN as the page types it: a script array of one-character texts.
    static std::string pinKeys() {
        std::string keys = "[";
        for (std::size_t i = 0; i < secret.size(); ++i) {
            keys += std::string(i ? ", " : "") + "\"" + secret.at(i) + "\"";
        }
        return keys + "]";
    }

    SoftHsmToken token;
    std::string keyPem = makeRsaKey(token.folder(), "signer");
    std::string certificateDer = makeCertificate(token.folder(), "signer", keyPem);
    std::string certId = toBase64(fromHex("0a0b"));
};

TEST_F(SigningPage, TheModuleNamesAndDescribesThePlugin) {
    testbrowser::Browser browser;
    const NPPluginFuncs& functions = browser.loadModule(VELMORA_MODULE).pluginFunctions();
    const char* name = nullptr;
    const char* description = nullptr;
    EXPECT_EQ(functions.getvalue(nullptr, NPPVpluginNameString, &name), NPERR_NO_ERROR);
    EXPECT_EQ(functions.getvalue(nullptr, NPPVpluginDescriptionString, &description),
              NPERR_NO_ERROR);
    EXPECT_STREQ(name, "Velmora_x86_64");
    EXPECT_STREQ(description, "Dastrel plugin para firma digital");
}

TEST_F(SigningPage, ListsFetchesAndSignsEachHashLength) {
    runPage("signing.html", [this](testbrowser::Browser&, testbrowser::Page& page) {
        EXPECT_EQ(page.eval("results.list"),
                  "O=Velmora,CN=Firmante|O=Velmora,CN=Firmante|" + certId);
        EXPECT_EQ(page.eval("results.listError"), "0");
        EXPECT_EQ(fromBase64(page.eval("results.certificate")), readFile(certificateDer));
        EXPECT_EQ(page.eval("results.certificateError"), "0");

        EXPECT_EQ(page.eval("results.unsigned"), "");
        EXPECT_EQ(page.eval("results.unsignedState"), "11,true,Certificado VADOD");
        EXPECT_EQ(page.eval("results.typed"), std::to_string(secret.size()));

        expectSignatureOf(16, page.eval("results.signatures[16]"), "md5");
        expectSignatureOf(20, page.eval("results.signatures[20]"), "sha1");
        expectSignatureOf(32, page.eval("results.signatures[32]"), "sha256");
        EXPECT_EQ(page.eval("[results.errors[16], results.errors[20], results.errors[32]]"),
                  "0,0,0");
        EXPECT_EQ(page.eval("results.signatures[33]"), "");
        EXPECT_EQ(page.eval("results.errors[33]"), "3");
        EXPECT_EQ(page.eval("results.left"), "0");
    });
}

// The macOS layer under the product: the models are agreed with the browser,
// the browser's window is not passed on, the window comes to the plug-in
// when the browser asks for the Core Animation layer, and input events end
// unhandled; the page goes on signing.
TEST_F(SigningPage, TheMacLayerAgreesItsModelsAndLeavesEventsUnhandled) {
    runPage("signing.html", [this](testbrowser::Browser&, testbrowser::Page& page) {
        testbrowser::PluginInstance& instance = *page.instance("plugin");
        EXPECT_EQ(instance.drawingModel(), NPDrawingModelCoreGraphics);
        EXPECT_EQ(instance.eventModel(), NPEventModelCocoa);
        EXPECT_EQ(instance.setWindow(testbrowser::WindowChange{0, 0, 300, 200}), NPERR_NO_ERROR);
        void* layer = nullptr;
        EXPECT_EQ(instance.getValue(NPPVpluginCoreAnimationLayer, &layer), NPERR_NO_ERROR);
        testbrowser::CocoaEvent events[] = {
            testbrowser::CocoaEvent::mouse(NPCocoaEventMouseDown, 1, 1),
            testbrowser::CocoaEvent::mouse(NPCocoaEventMouseUp, 1, 1),
            testbrowser::CocoaEvent::mouse(NPCocoaEventMouseMoved, 2, 2),
            testbrowser::CocoaEvent::key(NPCocoaEventKeyDown, 0, "a"),
            testbrowser::CocoaEvent::draw(instance.context(), 0, 0, 1, 1)};
        for (testbrowser::CocoaEvent& event : events) {
            EXPECT_EQ(instance.sendEvent(event.record()), 0) << event.record().type;
        }
        EXPECT_TRUE(macos::recordedDrawing(instance.context()).empty());
        EXPECT_EQ(page.eval("plugin.getDigitalSignatureCertificates()"),
                  "O=Velmora,CN=Firmante|O=Velmora,CN=Firmante|" + certId);
    });
}

TEST_F(SigningPage, MissingRefusedAndEmptiedPin) {
    runPage("pin.html", [this](testbrowser::Browser&, testbrowser::Page& page) {
        const std::string typed = std::to_string(secret.size());
        EXPECT_EQ(page.eval("results.steps.join('\\n')"),
                  "no PIN,11,true,false,Certificado VADOD,0,0\n"
                  "wrong PIN written,11,true,false,Certificado VADOD,0,4\n"
                  "refused,5,false,true,Certificado VADOD,1,0\n"
                  "same PIN again,5,false,true,Certificado VADOD,1,0\n"
                  "typed,5,false,true,Certificado VADOD,1," +
                      typed +
                      "\n"
                      "signed,0,false,false,,0,0\n"
                      "PIN emptied,0,false,false,,0,0\n"
                      "after logging out,11,true,false,Certificado VADOD,0,0");
        // A long reaches the page as its decimal text. The refusal's code is
        // the token's; the same PIN again is refused without the token, with
        // NSPR's last code, which is negative. A success keeps the last
        // failure's code.
        EXPECT_EQ(page.eval("results.lowLevelType"), "string");
        EXPECT_EQ(page.eval("results.lowLevel"), "160");
        EXPECT_EQ(page.eval("results.message"), "Pin invalido para Certificado VADOD");
        EXPECT_LT(std::stol(page.eval("results.failureLowLevel")), 0)
            << page.eval("results.failureLowLevel");
        EXPECT_EQ(page.eval("results.keptLowLevel"), page.eval("results.failureLowLevel"));
        expectSignatureOf(32, page.eval("results.signature"), "sha256");
    });
}

// A NUL typed into the PIN stays in it up to the token, which refuses the
// longer PIN instead of taking its own PIN before the NUL.
TEST_F(SigningPage, APinWithANulIsRefused) {
    runPage("pin_with_nul.html", [this](testbrowser::Browser&, testbrowser::Page& page) {
        EXPECT_EQ(page.eval("results.withNul"), "");
        EXPECT_EQ(page.eval("results.withNulState"), "5,true,Certificado VADOD,1");
        expectSignatureOf(32, page.eval("results.signature"), "sha256");
        EXPECT_EQ(page.eval("results.signedError"), "0");
    });
}

TEST_F(SigningPage, EventsOnloadAndExceptionsReachThePage) {
    runPage("events.html", [](testbrowser::Browser&, testbrowser::Page& page) {
        EXPECT_EQ(page.eval("results.loaded.join('|')"), "1.0.0.0|from onload");
        EXPECT_EQ(page.eval("results.echoed"), "hello");
        EXPECT_EQ(page.eval("typeof results.echoedNumber + ' ' + results.echoedNumber"),
                  "number 42");

        // Three echoes, the one from onload last, with consecutive counts.
        ASSERT_EQ(page.eval("results.echoes.length"), "3");
        const int first = std::stoi(page.eval("results.echoes[0][2]"));
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const std::string echo = "results.echoes[" + std::to_string(i) + "]";
            EXPECT_EQ(page.eval(echo + "[0]"), "So far, you clicked this many times: ");
            EXPECT_EQ(page.eval(echo + "[1]"), "number");
            EXPECT_EQ(page.eval(echo + "[2]"), std::to_string(first + i));
        }
        EXPECT_EQ(page.eval("results.tests.join(',')"), "0");
        EXPECT_EQ(page.eval("results.testResult"), "undefined");

        EXPECT_EQ(page.eval("results.missingArgument"), "Error: Argument 2is not optional.");
        EXPECT_EQ(page.eval("results.surplusArgument"), "Too many arguments, expected 1.");
        EXPECT_EQ(page.eval("results.versionAfterWrite"), "1.0.0.0");
    });
}

TEST_F(SigningPage, TwoObjectsShareOnePinStoreAndOneEchoCount) {
    runPage("two.html", [this](testbrowser::Browser& browser, testbrowser::Page& page) {
        expectSignatureOf(32, page.eval("results.first"), "sha256");
        expectSignatureOf(20, page.eval("results.second"), "sha1");
        EXPECT_EQ(page.eval("results.secondError"), "0");

        ASSERT_EQ(page.eval("results.echoes.length"), "3");
        const std::string firstEcho = page.eval("results.echoes[0]");
        ASSERT_EQ(firstEcho.rfind("first ", 0), 0u);
        const int count = std::stoi(firstEcho.substr(6));
        EXPECT_EQ(page.eval("results.echoes.join(',')"),
                  "first " + std::to_string(count) + ",second " + std::to_string(count + 1) +
                      ",first " + std::to_string(count + 2));

        // Without the first object the second still signs.
        page.removeInstance(*page.instance("first"));
        ASSERT_TRUE(browser.runUntilIdle(10s));
        expectSignatureOf(16, page.eval("second.signPkcs1('" + certId + "', '" + hashOf(16) + "')"),
                          "md5");
        EXPECT_EQ(page.eval("second.lastError"), "0");
    });
}

// A browser unloads a module that no page uses and loads it again for a
// later page: the module must then leave the process, so that each load
// starts from a fresh image.
TEST_F(SigningPage, TheUnloadedModuleLeavesTheProcessAndLoadsAgain) {
    const PageCheck echoes = [](testbrowser::Browser&, testbrowser::Page& page) {
        EXPECT_EQ(page.eval("results.echoes.length"), "3");
        EXPECT_EQ(page.eval("results.loaded.join('|')"), "1.0.0.0|from onload");
    };
    runPage("events.html", echoes);
    EXPECT_FALSE(mappedInProcess(VELMORA_MODULE));
    runPage("events.html", echoes);
    EXPECT_FALSE(mappedInProcess(VELMORA_MODULE));
}

} // namespace
