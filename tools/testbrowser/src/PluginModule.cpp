#include <testbrowser/PluginModule.h>

#include <dlfcn.h>

#include <stdexcept>

namespace testbrowser {

namespace {

template <class Function> Function entryPoint(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol)
        throw std::runtime_error(std::string("the module does not export ") + name);
    return reinterpret_cast<Function>(symbol);
}

} // namespace

PluginModule::PluginModule(const std::string& path) : m_path(path) {
    // RTLD_DEEPBIND would keep the module's symbols first, but the sanitizer runtimes refuse it.
    m_library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library)
        throw std::runtime_error("cannot load " + path + ": " + dlerror());
    try {
        m_entryPoints.getEntryPoints =
            entryPoint<NP_GetEntryPointsFunc>(m_library, "NP_GetEntryPoints");
        m_entryPoints.initialize = entryPoint<NP_InitializeFunc>(m_library, "NP_Initialize");
        m_entryPoints.shutdown = entryPoint<NP_ShutdownFunc>(m_library, "NP_Shutdown");
    } catch (...) {
        dlclose(m_library);
        throw;
    }
}

PluginModule::PluginModule(const ModuleEntryPoints& entryPoints)
    : m_path("(linked in)"), m_entryPoints(entryPoints) {}

PluginModule::~PluginModule() {
    if (m_initialized && !m_shutDown)
        shutdown();
    if (m_library)
        dlclose(m_library);
}

NPError PluginModule::getEntryPoints() {
    m_functions = NPPluginFuncs{};
    m_functions.size = sizeof(NPPluginFuncs);
    m_functions.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    return m_entryPoints.getEntryPoints(&m_functions);
}

NPError PluginModule::initialize(NPNetscapeFuncs* browserFunctions) {
    NPError result = m_entryPoints.initialize(browserFunctions);
    m_initialized = true;
    m_shutDown = false;
    return result;
}

NPError PluginModule::shutdown() {
    m_shutDown = true;
    return m_entryPoints.shutdown();
}

} // namespace testbrowser
