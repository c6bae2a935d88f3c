// A long run of a page that signs: 10,000 "signPkcs1" calls made by a page's
// script in the test browser through the product module, each next to the
// same signature made by the engine directly, on one SoftHSM2 token. The two
// take turns going first, so that drift in the machine touches both alike.
//
// Reports the process's resident memory after 1,000 and after 10,000 page
// calls and the median time of a page call against an engine call. Exits 1
// when memory grew by 1 MiB or more, when the page's median is 5% or more
// above the engine's, or when a page signature differs from the engine's
// (PKCS#1 v1.5 is deterministic) or does not verify with openssl. With
// --no-time-limit the medians are reported and not held to the limit: wall
// times on a shared machine are not steady enough to judge a test run by.
#include "EngineTestSupport.h"

#include <testbrowser/Browser.h>
#include <testbrowser/Page.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const int kCalls = 10000;
const int kFirstMemoryReading = 1000;
const long kMaxGrowthKiB = 1024;
const double kMaxOverhead = 0.05;
const std::string kHash(32, 'h');

// The page signs as pages do: its first signature finds no PIN and names the
// PIN module that needs one, the page then writes the PIN, and from there on
// each call of signOnce() is one page call of "signPkcs1".
std::string signingPage(const std::string& certId, const std::string& pin) {
    return "<html><body>\n"
           "<object id='plugin' type='application/x-velmora' width='1' height='1'></object>\n"
           "<script>\n"
           "var plugin = document.getElementById('plugin');\n"
           "var id = '" +
           certId + "';\nvar hash = '" + toBase64(kHash) +
           "';\n"
           "plugin.signPkcs1(id, hash);\n"
           "var pinWasMissing = plugin.isPinMissing;\n"
           "plugin.pin = '" +
           pin +
           "';\n"
           "function signOnce() { return plugin.signPkcs1(id, hash); }\n"
           "</script>\n"
           "</body></html>\n";
}

// The process's resident set (VmRSS), in KiB.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    const std::string field = "VmRSS:";
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, field.size(), field) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    throw std::runtime_error("no VmRSS in /proc/self/status");
}

// Runs the call, stores its result and gives its duration in microseconds.
template <typename Call> double timed(Call call, std::string& result) {
    const auto start = std::chrono::steady_clock::now();
    result = call();
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

struct Figures {
    long residentAtFirstReading = 0;
    long residentAtEnd = 0;
    std::vector<double> pageMicros;
    std::vector<double> engineMicros;
    std::string firstSignature;
    std::string lastSignature;
};

// The token, the module in the browser with the signing page, and the
// engine of the program itself with the PIN given directly.
class SigningBench {
public:
    SigningBench() {
        m_token.writeCertificate(makeCertificate(m_token.folder(), "signer", m_keyPem), "0a0b");
        m_token.writePrivateKey(m_keyPem, "0a0b");
        gPines.clear();
        m_engine.SetPin(kPinModule, m_token.userPin());
        m_browser.loadModule(VELMORA_MODULE);
        m_page = &m_browser.openPage(signingPage(m_certId, m_token.userPin()));
        if (!m_browser.runUntilIdle(std::chrono::seconds(10)) || !m_browser.pageErrors().empty() ||
            m_page->eval("pinWasMissing") != "true") {
            throw std::runtime_error("the signing page did not load as expected");
        }
    }

    Figures run() {
        Figures figures;
        figures.pageMicros.reserve(kCalls);
        figures.engineMicros.reserve(kCalls);
        for (int call = 1; call <= kCalls; ++call) {
            std::string fromPage;
            std::string fromEngine;
            if (call % 2) {
                figures.pageMicros.push_back(timed([this] { return signOnPage(); }, fromPage));
                figures.engineMicros.push_back(
                    timed([this] { return signOnEngine(); }, fromEngine));
            } else {
                figures.engineMicros.push_back(
                    timed([this] { return signOnEngine(); }, fromEngine));
                figures.pageMicros.push_back(timed([this] { return signOnPage(); }, fromPage));
            }
            // What the module left for the main loop runs between page calls.
            m_browser.runPending();
            checkSameSignature(call, fromPage, fromEngine);
            if (call == 1) {
                figures.firstSignature = fromPage;
            }
            if (call == kFirstMemoryReading) {
                figures.residentAtFirstReading = residentKiB();
            }
            if (call == kCalls) {
                figures.residentAtEnd = residentKiB();
                figures.lastSignature = fromPage;
            }
        }
        return figures;
    }

    // Verifies a page signature of the hash with openssl and the key's file.
    void verify(const std::string& signature) const {
        verifySignature(m_keyPem, kHash, signature, "sha256", m_token.folder());
    }

    // Closes the page and shuts the module down; the browser must have
    // every block and object back and the page no error.
    void close() {
        if (!m_browser.pageErrors().empty()) {
            throw std::runtime_error("page error: " + m_browser.pageErrors().front());
        }
        m_browser.closePage();
        if (m_browser.shutdownModule() != NPERR_NO_ERROR || !m_browser.clean()) {
            throw std::runtime_error("the module did not give everything back: " +
                                     m_browser.leakReport());
        }
    }

private:
    // The page's function is called as a page's event handler would be: its
    // script was compiled with the page, not for each call.
    std::string signOnPage() { return m_page->call("signOnce"); }
    std::string signOnEngine() { return m_engine.SignPkcs1Base64(m_certId, toBase64(kHash)); }

    void checkSameSignature(int call, const std::string& fromPage,
                            const std::string& fromEngine) const {
        if (fromPage.empty() || fromPage != fromEngine) {
            throw std::runtime_error("call " + std::to_string(call) +
                                     ": the page's signature differs from the engine's (page: " +
                                     m_page->eval("plugin.lastErrorMessage") +
                                     ", engine: " + m_engine.LastErrorMessage() + ")");
        }
    }

    SoftHsmToken m_token;
    std::string m_keyPem = makeRsaKey(m_token.folder(), "signer");
    std::string m_certId = toBase64(fromHex("0a0b"));
    DigitalSignatureUtilPkcs11 m_engine;
    testbrowser::Browser m_browser;
    testbrowser::Page* m_page = nullptr;
};

// Prints the figures; true when they are within the limits, the time limit
// only when it applies.
bool report(const Figures& figures, bool timeLimited) {
    const long growth = figures.residentAtEnd - figures.residentAtFirstReading;
    const double pageMedian = median(figures.pageMicros);
    const double engineMedian = median(figures.engineMicros);
    const double overhead = (pageMedian - engineMedian) / engineMedian;
    std::printf("%d signPkcs1 calls from the page, %d on the engine, alternating\n", kCalls,
                kCalls);
    std::printf("resident memory: %ld KiB after %d page calls, %ld KiB after %d; "
                "growth %ld KiB (limit: under %ld)\n",
                figures.residentAtFirstReading, kFirstMemoryReading, figures.residentAtEnd, kCalls,
                growth, kMaxGrowthKiB);
    std::printf("median per call: page %.1f us, engine %.1f us; page overhead %.2f%% "
                "(limit: under %.0f%%)\n",
                pageMedian, engineMedian, overhead * 100, kMaxOverhead * 100);
    std::printf("every page signature equals the engine's; the first and last verify with "
                "openssl\n");
    const bool flat = growth < kMaxGrowthKiB;
    const bool cheap = overhead < kMaxOverhead || !timeLimited;
    std::printf("%s%s\n", flat && cheap ? "PASS" : "FAIL",
                timeLimited ? "" : " (the overhead not held to its limit)");
    return flat && cheap;
}

} // namespace

int main(int argc, char** argv) {
    const std::string timeOption = argc > 1 ? argv[1] : "";
    if (argc > 2 || (argc == 2 && timeOption != "--no-time-limit")) {
        std::fprintf(stderr, "usage: page_sign_bench [--no-time-limit]\n");
        return 2;
    }
    try {
        SigningBench bench;
        const Figures figures = bench.run();
        bench.verify(figures.firstSignature);
        bench.verify(figures.lastSignature);
        bench.close();
        return report(figures, timeOption.empty()) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "page_sign_bench: %s\n", error.what());
        return 1;
    }
}
