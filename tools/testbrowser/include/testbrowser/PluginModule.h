// A plug-in module as a browser loads it: through its three exported entry
// points only, either from a shared library or, for tests, from functions
// linked into the test itself.
#pragma once

#include <NPAPI.h>

#include <string>

namespace testbrowser {

struct ModuleEntryPoints {
    NP_GetEntryPointsFunc getEntryPoints;
    NP_InitializeFunc initialize;
    NP_ShutdownFunc shutdown;
};

enum class EntryOrder { GetEntryPointsFirst, InitializeFirst };

class PluginModule {
public:
    // Loads the library (RTLD_NOW | RTLD_LOCAL) and finds the entry points;
    // raises std::runtime_error when either fails.
    explicit PluginModule(const std::string& path);
    explicit PluginModule(const ModuleEntryPoints& entryPoints);
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    // Calls NP_Shutdown when it was not called yet, then unloads the library.
    ~PluginModule();

    // NP_GetEntryPoints with a table whose size and version the browser set.
    NPError getEntryPoints();
    NPError initialize(NPNetscapeFuncs* browserFunctions);
    NPError shutdown();

    const NPPluginFuncs& pluginFunctions() const { return m_functions; }
    bool initialized() const { return m_initialized; }
    bool shutDown() const { return m_shutDown; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    void* m_library = nullptr;
    ModuleEntryPoints m_entryPoints{};
    NPPluginFuncs m_functions{};
    bool m_initialized = false;
    bool m_shutDown = false;
};

} // namespace testbrowser
