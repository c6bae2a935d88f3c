#include <testbrowser/Browser.h>

#include "BrowserFunctions.h"
#include "PageObjects.h"

#include <testbrowser/Identifiers.h>

#include <MacStandIn/RunLoop.h>
#include <MacStandIn/StandIn.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testbrowser {

namespace {

Browser* g_current = nullptr;

} // namespace

Browser::Browser(BrowserOptions options) : m_options(std::move(options)) {
    if (g_current)
        throw std::logic_error("only one browser may exist at a time");
    macos::RunLoop& loop = macos::RunLoop::main();
    loop.bindToCurrentThread();
    loop.reset(m_options.virtualClock);
    m_functions = browserFunctionTable(m_options.version);
    for (const std::string& name : m_options.removedFunctions)
        removeFunction(name);
    g_current = this;
}

Browser::~Browser() {
    closePage();
    if (m_module && m_module->initialized() && !m_module->shutDown())
        shutdownModule();
    // Work the module left queued holds the module's own code (handlers,
    // vtables): it goes before the module is unloaded.
    macos::RunLoop::main().reset(false);
    macos::drainMainThreadPool();
    m_module.reset();
    g_current = nullptr;
}

Browser* Browser::current() {
    return g_current;
}

void Browser::removeFunction(const std::string& name) {
    clearBrowserFunction(m_functions, name);
}

std::vector<std::string> Browser::functionNames() {
    return browserFunctionNames();
}

PluginModule& Browser::loadModule(const std::string& path, EntryOrder order) {
    return startModule(std::make_unique<PluginModule>(path), order);
}

PluginModule& Browser::loadModule(const ModuleEntryPoints& entryPoints, EntryOrder order) {
    return startModule(std::make_unique<PluginModule>(entryPoints), order);
}

PluginModule& Browser::startModule(std::unique_ptr<PluginModule> module, EntryOrder order) {
    if (m_module)
        throw std::logic_error("a module is loaded already");
    m_module = std::move(module);
    if (order == EntryOrder::GetEntryPointsFirst) {
        m_module->getEntryPoints();
        m_module->initialize(&m_functions);
    } else {
        m_module->initialize(&m_functions);
        m_module->getEntryPoints();
    }
    macos::drainMainThreadPool();
    return *m_module;
}

NPError Browser::shutdownModule() {
    if (!m_module)
        return NPERR_GENERIC_ERROR;
    NPError result = m_module->shutdown();
    macos::drainMainThreadPool();
    return result;
}

Page& Browser::openPage(const std::string& html) {
    closePage();
    m_page = std::make_unique<Page>(*this, html);
    m_page->load();
    macos::drainMainThreadPool();
    return *m_page;
}

Page& Browser::openPageFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream html;
    html << file.rdbuf();
    return openPage(html.str());
}

void Browser::closePage() {
    if (!m_page)
        return;
    m_page->destroyInstances();
    m_page.reset();
    macos::drainMainThreadPool();
}

size_t Browser::runPending() {
    return macos::RunLoop::main().runPending();
}

bool Browser::runUntilIdle(std::chrono::milliseconds limit) {
    return macos::RunLoop::main().runUntilIdle(limit);
}

void Browser::runFor(std::chrono::milliseconds duration) {
    macos::RunLoop::main().runFor(duration);
}

bool Browser::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                       std::chrono::milliseconds realLimit) {
    return macos::RunLoop::main().runUntil(done, limit, realLimit);
}

bool Browser::clean() const {
    return leakReport().empty();
}

std::string Browser::leakReport() const {
    std::ostringstream report;
    if (m_ledger.openBlocks())
        report << m_ledger.openBlocks() << " memory blocks (" << m_ledger.openBytes()
               << " bytes) never freed; ";
    if (m_ledger.badFrees())
        report << m_ledger.badFrees() << " frees of memory the browser did not allocate; ";
    if (!m_objects.empty())
        report << m_objects.size() << " NPObjects still alive; ";
    if (!m_records.unknownReleases.empty())
        report << m_records.unknownReleases.size() << " releases of objects that were not alive; ";
    if (!m_records.boundaryFaults.empty())
        report << m_records.boundaryFaults.size() << " C++ exceptions left the module; ";
    std::string text = report.str();
    return text.empty() ? text : text.substr(0, text.size() - 2);
}

PluginInstance* Browser::findInstance(NPP npp) {
    if (!m_page || !npp)
        return nullptr;
    for (PluginInstance* instance : m_page->instances())
        if (instance->npp() == npp && instance->alive())
            return instance;
    return nullptr;
}

void Browser::consoleLog(const std::string& line) {
    m_console.push_back(line);
    if (m_options.echo) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void Browser::pageError(const std::string& message) {
    m_pageErrors.push_back(message);
    if (m_options.echo)
        std::fprintf(stderr, "Uncaught %s\n", message.c_str());
}

NPObject* Browser::createObject(NPP npp, NPClass* objectClass) {
    if (!objectClass)
        return nullptr;
    NPObject* object = nullptr;
    if (objectClass->allocate)
        object = objectClass->allocate(npp, objectClass);
    else
        object = static_cast<NPObject*>(m_ledger.allocate(sizeof(NPObject)));
    if (!object)
        return nullptr;
    object->_class = objectClass;
    object->referenceCount = 1;
    m_objects[object] = ObjectRecord{npp, false};
    return object;
}

NPObject* Browser::retainObject(NPObject* object) {
    if (object && isLiveObject(object))
        ++object->referenceCount;
    return object;
}

void Browser::releaseObject(NPObject* object) {
    if (!object)
        return;
    if (!isLiveObject(object)) {
        m_records.unknownReleases.push_back("releaseobject of an object that is not alive");
        return;
    }
    if (--object->referenceCount > 0)
        return;
    m_objects.erase(object);
    NPClass* objectClass = object->_class;
    if (objectClass && objectClass->deallocate)
        objectClass->deallocate(object);
    else
        m_ledger.free(object);
}

void Browser::releaseVariant(NPVariant& variant) {
    if (variant.type == NPVariantType_String)
        m_ledger.free(const_cast<NPUTF8*>(variant.value.stringValue.UTF8Characters));
    else if (variant.type == NPVariantType_Object)
        releaseObject(variant.value.objectValue);
    variant = NPVariant{};
    variant.type = NPVariantType_Void;
}

NPP Browser::objectOwner(NPObject* object) const {
    auto found = m_objects.find(object);
    return found != m_objects.end() ? found->second.owner : nullptr;
}

bool Browser::isInvalidated(NPObject* object) const {
    auto found = m_objects.find(object);
    return found == m_objects.end() || found->second.invalidated;
}

void Browser::invalidateObjectsOf(NPP npp) {
    std::vector<NPObject*> owned;
    for (auto& [object, record] : m_objects)
        if (record.owner == npp && !record.invalidated && !PageObjects::isPageObject(object))
            owned.push_back(object);
    for (NPObject* object : owned) {
        auto found = m_objects.find(object);
        if (found == m_objects.end() || found->second.invalidated)
            continue;
        found->second.invalidated = true;
        if (object->_class->invalidate) {
            try {
                object->_class->invalidate(object);
            } catch (...) {
                boundaryFault("NPClass invalidate");
            }
        }
    }
}

void Browser::boundaryFault(const std::string& where) {
    m_records.boundaryFaults.push_back(where);
    std::fprintf(stderr, "velmora-browser: a C++ exception left the module in %s\n", where.c_str());
}

std::optional<std::string> Browser::takeException() {
    std::optional<std::string> message;
    message.swap(m_pendingException);
    return message;
}

void Browser::setException(const std::string& message) {
    m_records.exceptionsSet.push_back(message);
    m_pendingException = message;
}

uint32_t Browser::scheduleTimer(NPP npp, uint32_t interval, bool repeat,
                                void (*timerFunc)(NPP, uint32_t)) {
    if (!findInstance(npp) || !timerFunc)
        return 0;
    uint32_t id = ++m_lastTimer;
    auto period = std::chrono::milliseconds(interval);
    uint64_t runLoopTimer = macos::RunLoop::main().addTimer(
        period, repeat ? period : std::chrono::milliseconds(0), [this, npp, id, repeat, timerFunc] {
            if (!repeat)
                m_timers.erase(id);
            try {
                timerFunc(npp, id);
            } catch (...) {
                boundaryFault("scheduletimer callback");
            }
        });
    m_timers[id] = BrowserTimer{npp, runLoopTimer};
    return id;
}

void Browser::unscheduleTimer(NPP npp, uint32_t timerId) {
    auto found = m_timers.find(timerId);
    if (found == m_timers.end() || found->second.npp != npp)
        return;
    uint64_t runLoopTimer = found->second.runLoopTimer;
    m_timers.erase(found);
    macos::RunLoop::main().cancelTimer(runLoopTimer);
}

void Browser::cancelTimersOf(NPP npp) {
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->second.npp != npp) {
            ++it;
            continue;
        }
        macos::RunLoop::main().cancelTimer(it->second.runLoopTimer);
        it = m_timers.erase(it);
    }
}

} // namespace testbrowser
