// The test browser: loads one plug-in module through its entry points, shows
// one page at a time, gives the module its NPN functions and runs the main
// loop. Its NPN functions reach it through Browser::current(), so only one
// browser exists at a time, and it lives on the thread that made it (the
// main thread).
#pragma once

#include <testbrowser/MemoryLedger.h>
#include <testbrowser/Page.h>
#include <testbrowser/PluginModule.h>
#include <testbrowser/Records.h>

#include <NPAPI.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace testbrowser {

struct BrowserOptions {
    // NPAPI minor version announced in the function table.
    uint16_t version = NP_VERSION_MINOR;
    // NPN entries left NULL, by their field names ("memalloc", "scheduletimer", ...).
    std::vector<std::string> removedFunctions;
    std::string userAgent =
        "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_9_5) AppleWebKit/600.1 Safari/600.1";
    // The MIME type the module handles; <object>s of other types get no instance.
    std::string mimeType = "application/x-velmora";
    // Answers to the NPNVsupports... questions.
    std::map<NPNVariable, bool> supports = {{NPNVsupportsCoreGraphicsBool, true},
                                            {NPNVsupportsCocoaBool, true},
                                            {NPNVsupportsCoreAnimationBool, false},
                                            {NPNVsupportsInvalidatingCoreAnimationBool, false},
                                            {NPNVsupportsCarbonBool, false}};
    // Models NPN_SetValue accepts.
    std::set<int> drawingModels = {NPDrawingModelCoreGraphics};
    std::set<int> eventModels = {NPEventModelCocoa};
    bool privateMode = false;
    // The answer to every URL request (GetURL, PostURL and their notify forms).
    NPError urlRequestResult = NPERR_NO_ERROR;
    // The proxy answer for a URL; unset: "DIRECT"; std::nullopt: NPERR_GENERIC_ERROR.
    std::function<std::optional<std::string>(const std::string& url)> proxyForUrl;
    // Virtual time: the clock moves only as the loop runs, jumping to each timer.
    bool virtualClock = true;
    // Write console.log lines and page errors to standard output and error as they come.
    bool echo = false;
};

class Browser {
public:
    explicit Browser(BrowserOptions options = {});
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    // Closes the page, shuts the module down and unloads it.
    ~Browser();

    // The browser whose NPN functions are live, or NULL.
    static Browser* current();

    // The table handed to the module; tests may change it before loading one.
    NPNetscapeFuncs& functions() { return m_functions; }
    // Leaves the entry NULL; raises std::invalid_argument for an unknown name.
    void removeFunction(const std::string& name);
    static std::vector<std::string> functionNames();

    // Loads the module and calls NP_GetEntryPoints and NP_Initialize in the
    // given order; raises std::runtime_error when loading fails.
    PluginModule& loadModule(const std::string& path,
                             EntryOrder order = EntryOrder::GetEntryPointsFirst);
    PluginModule& loadModule(const ModuleEntryPoints& entryPoints,
                             EntryOrder order = EntryOrder::GetEntryPointsFirst);
    PluginModule* module() { return m_module.get(); }
    // NP_Shutdown; the module stays loaded until the browser goes.
    NPError shutdownModule();

    // Loads the page: instances are created and scripts run in markup order.
    Page& openPage(const std::string& html);
    Page& openPageFile(const std::string& path);
    Page* page() { return m_page.get(); }
    void closePage();

    // The main loop (MacStandIn's run loop), run on the calling thread.
    size_t runPending();
    bool runUntilIdle(std::chrono::milliseconds limit);
    void runFor(std::chrono::milliseconds duration);
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                  std::chrono::milliseconds realLimit = std::chrono::seconds(5));

    MemoryLedger& ledger() { return m_ledger; }
    // NPObjects alive now, of any class.
    size_t liveObjects() const { return m_objects.size(); }
    // No open memory block, no live NPObject, no bad free or unknown release.
    bool clean() const;
    // A text naming what is not clean, "" when clean.
    std::string leakReport() const;

    Records& records() { return m_records; }
    const std::vector<std::string>& consoleLines() const { return m_console; }
    const std::vector<std::string>& pageErrors() const { return m_pageErrors; }
    const BrowserOptions& options() const { return m_options; }

    // --- Used by the browser's own parts (page, instances, NPN functions). ---
    PluginInstance* findInstance(NPP npp);
    void consoleLog(const std::string& line);
    void pageError(const std::string& message);
    NPObject* createObject(NPP npp, NPClass* objectClass);
    // NPN_ReleaseVariantValue: frees the text, releases the object, leaves Void.
    void releaseVariant(NPVariant& variant);
    NPObject* retainObject(NPObject* object);
    void releaseObject(NPObject* object);
    bool isLiveObject(NPObject* object) const { return m_objects.count(object) != 0; }
    NPP objectOwner(NPObject* object) const;
    bool isInvalidated(NPObject* object) const;
    // Calls the NPClass invalidate of the instance's live objects (not the page's own).
    void invalidateObjectsOf(NPP npp);
    // A C++ exception left a module function: a real browser would crash.
    void boundaryFault(const std::string& where);
    // A setexception text waiting to be thrown into the page, taken once.
    std::optional<std::string> takeException();
    void setException(const std::string& message);

    uint32_t scheduleTimer(NPP npp, uint32_t interval, bool repeat,
                           void (*timerFunc)(NPP, uint32_t));
    void unscheduleTimer(NPP npp, uint32_t timerId);
    void cancelTimersOf(NPP npp);

private:
    struct ObjectRecord {
        NPP owner;
        bool invalidated;
    };
    struct BrowserTimer {
        NPP npp;
        uint64_t runLoopTimer;
    };

    PluginModule& startModule(std::unique_ptr<PluginModule> module, EntryOrder order);

    BrowserOptions m_options;
    NPNetscapeFuncs m_functions{};
    MemoryLedger m_ledger;
    Records m_records;
    std::map<NPObject*, ObjectRecord> m_objects;
    std::map<uint32_t, BrowserTimer> m_timers;
    uint32_t m_lastTimer = 0;
    std::optional<std::string> m_pendingException;
    std::vector<std::string> m_console;
    std::vector<std::string> m_pageErrors;
    std::unique_ptr<PluginModule> m_module;
    std::unique_ptr<Page> m_page;
};

} // namespace testbrowser
