// A PIN the page writes whole to "pin" is not left in the memory the module
// gives back: the product module in the test browser, with this program's
// allocation functions searching every block the module's code frees. The
// browser's own copies of the page's text are the browser's affair and are
// not searched.
#include "EngineTestSupport.h"
#include "FreedBlockScan.h"

#include <testbrowser/Browser.h>
#include <testbrowser/Page.h>

#include <gtest/gtest.h>
#include <string>

namespace {

// Short enough for a string's inline buffer, and long enough for a block of its own.
const std::string shortPin = "M4Gd3Vx";
const std::string longPin = "M4Gd3Vx8kQ2pR7tY5w";

const char* const pageHtml =
    "<object id='plugin' type='application/x-velmora' width='1' height='1'></object>"
    "<script>var plugin = document.getElementById('plugin');</script>";

// The module on a page whose first signature found no PIN, so that the next
// one hands over the PIN written; the token's user PIN is the test's.
class WrittenPin : public ::testing::TestWithParam<std::string> {
protected:
    WrittenPin() : token("Velmora test", GetParam()) {
        token.writeCertificate(certificateDer, "0a0b");
        token.writePrivateKey(keyPem, "0a0b");
        browser.loadModule(VELMORA_MODULE);
        page = &browser.openPage(pageHtml);
    }

    void SetUp() override {
        ASSERT_EQ(page->eval("plugin.signPkcs1('" + certId + "', '" + hash + "')"), "");
        ASSERT_EQ(page->eval("plugin.lastError"), "11");
    }

    // The page closes and the module shuts down; the browser has everything back.
    void TearDown() override {
        browser.closePage();
        EXPECT_EQ(browser.shutdownModule(), NPERR_NO_ERROR);
        EXPECT_TRUE(browser.clean()) << browser.leakReport();
    }

    std::string quotedPin() const { return "'" + GetParam() + "'"; }

    // How many blocks the module frees while the page runs the script.
    int moduleBlocksHoldingPinWhile(const std::string& script) {
        return blocksFreedByLibraryHolding(VELMORA_MODULE, GetParam(), [&] { page->eval(script); });
    }

    SoftHsmToken token;
    std::string keyPem = makeRsaKey(token.folder(), "signer");
    std::string certificateDer = makeCertificate(token.folder(), "signer", keyPem);
    std::string certId = toBase64(fromHex("0a0b"));
    std::string hash = toBase64(std::string(32, 'h'));
    testbrowser::Browser browser;
    testbrowser::Page* page = nullptr;
};

// As a careful page does it: the PIN written, the signature, the PIN emptied.
TEST_P(WrittenPin, TheModuleWipesThePinBeforeFreeingIt) {
    const std::string write = "plugin.pin = " + quotedPin() + ";";
    const std::string sign = "var signature = plugin.signPkcs1('" + certId + "', '" + hash + "');";
    EXPECT_EQ(moduleBlocksHoldingPinWhile(write + sign + "plugin.pin = '';"), 0);
    EXPECT_EQ(page->eval("plugin.lastError"), "0");
    expectValidSignature(keyPem, std::string(32, 'h'), page->eval("signature"), "sha256",
                         token.folder());
}

// A call's arguments, whether the script object ignores them or refuses the
// call before it takes them: the binding's copies are the only ones.
TEST_P(WrittenPin, TheModuleWipesTheArgumentsOfACall) {
    const std::string ignored = "plugin.deletePinChar(" + quotedPin() + ");";
    const std::string refused = "var refusal = '';"
                                "try { plugin.getCertificate(" +
                                quotedPin() + ", " + quotedPin() +
                                "); } catch (e) { refusal = e.message; }";
    EXPECT_EQ(moduleBlocksHoldingPinWhile(ignored + refused), 0);
    EXPECT_EQ(page->eval("refusal"), "Too many arguments, expected 1.");
}

// The plug-in and its methods are no constructors: the page's "new" is
// refused, and the arguments converted for it are wiped as a call's are.
TEST_P(WrittenPin, TheModuleWipesTheArgumentsOfARefusedConstruction) {
    const auto refusedNew = [&](const std::string& constructor) {
        return "try { new " + constructor + "(" + quotedPin() +
               "); } catch (e) { refusals.push(e.message); }";
    };
    EXPECT_EQ(moduleBlocksHoldingPinWhile("var refusals = [];" + refusedNew("plugin") +
                                          refusedNew("plugin.echo")),
              0);
    const std::string refusal = "The specified member does not exist: constructor";
    EXPECT_EQ(page->eval("refusals.join('|')"), refusal + "|" + refusal);
}

// The search does see what the module frees: the copies that the script
// object makes of a value and gives back are its own, not the binding's to
// wipe.
TEST_P(WrittenPin, AValueThePluginReturnsIsNotWiped) {
    EXPECT_GE(moduleBlocksHoldingPinWhile("var echoed = plugin.echo(" + quotedPin() + ");"), 1);
    EXPECT_EQ(page->eval("echoed"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(ShortAndLong, WrittenPin, ::testing::Values(shortPin, longPin),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.size() < 16 ? "Short" : "Long";
                         });

} // namespace
