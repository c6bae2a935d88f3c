// velmora-browser: opens a page with a plug-in module as a browser would,
// runs it until nothing is pending, then unloads everything and reports.
#include <testbrowser/Browser.h>

#include <MacStandIn/RunLoop.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <unistd.h>

namespace {

const char* const kUsage =
    "usage: velmora-browser [--module PATH] [--timeout SECONDS] PAGE.html\n"
    "\n"
    "Loads the NPAPI module, opens the page (its <object type=\"application/x-velmora\">\n"
    "elements become plug-in instances, its scripts run in order), runs the main loop\n"
    "until no timer or call is pending (waiting a moment for calls that the module's\n"
    "threads may still post) or the timeout passes, then destroys the instances and\n"
    "shuts the module down. console.log goes to standard output.\n"
    "\n"
    "  --module PATH      the module (default: libVelmora.so in ../lib beside this program)\n"
    "  --timeout SECONDS  how long the page may run (default 10)\n"
    "  --help             this text\n"
    "\n"
    "Exits 0 when the page raised nothing and the module gave back all it took\n"
    "from the browser, 1 otherwise, 2 on a usage error.\n";

struct Arguments {
    std::string module;
    std::string page;
    double timeout = 10;
};

std::string defaultModule() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "libVelmora.so";
    std::string self(path, static_cast<size_t>(length));
    return self.substr(0, self.rfind('/')) + "/../lib/libVelmora.so";
}

bool parse(int argc, char** argv, Arguments& arguments) {
    arguments.module = defaultModule();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--module" && i + 1 < argc) {
            arguments.module = argv[++i];
        } else if (arg == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            arguments.timeout = std::strtod(argv[++i], &end);
            if (*end || arguments.timeout < 0)
                return false;
        } else if (arg.rfind("--", 0) == 0 || !arguments.page.empty()) {
            return false;
        } else {
            arguments.page = arg;
        }
    }
    return !arguments.page.empty();
}

// Runs the main loop until it is idle and stays so for a moment, or the time is up.
bool runUntilSettled(testbrowser::Browser& browser, std::chrono::milliseconds limit) {
    using namespace std::chrono;
    const milliseconds settle(200);
    const auto deadline = steady_clock::now() + limit;
    for (;;) {
        auto remaining = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (remaining <= milliseconds(0) || !browser.runUntilIdle(remaining))
            return false;
        bool posted = browser.runUntil([] { return !macos::RunLoop::main().idle(); },
                                       std::min(settle, remaining));
        if (!posted)
            return true;
    }
}

int run(const Arguments& arguments) {
    testbrowser::BrowserOptions options;
    options.virtualClock = false;
    options.echo = true;
    testbrowser::Browser browser(options);
    browser.loadModule(arguments.module);
    browser.openPageFile(arguments.page);
    auto limit = std::chrono::milliseconds(static_cast<long long>(arguments.timeout * 1000));
    if (!runUntilSettled(browser, limit))
        std::fprintf(stderr, "velmora-browser: still busy after %g seconds; stopping\n",
                     arguments.timeout);
    browser.closePage();
    browser.shutdownModule();
    std::string leaks = browser.leakReport();
    if (!leaks.empty())
        std::fprintf(stderr, "velmora-browser: %s\n", leaks.c_str());
    return browser.pageErrors().empty() && leaks.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    Arguments arguments;
    if (!parse(argc, argv, arguments)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        return run(arguments);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velmora-browser: %s\n", error.what());
        return 1;
    }
}
