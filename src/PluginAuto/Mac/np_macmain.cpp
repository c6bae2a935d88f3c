// The module's three exported functions. Each finds the module of the image
// that called it, keyed by that image's load address, and hands it the
// browser's tables. No exception leaves them.

#include "NpapiPluginModule.h"
#include "NpapiTypes.h"
#include "logging.h"

#include <NPAPI.h>

#define NP_EXPORT extern "C" __attribute__((visibility("default")))

using FB::Npapi::NpapiPluginModule;

namespace {

// A platform's start-up work before the module is found; this one needs none.
void initPluginModule() {}

} // namespace

NP_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* pFuncs) {
    const void* const key = FB::Npapi::callerImage(__builtin_return_address(0));
    return FB::Npapi::exceptionBarrier("NP_GetEntryPoints", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_INFO("NPAPI", "");
        if (!pFuncs) {
            return NPError(NPERR_INVALID_FUNCTABLE_ERROR);
        }
        initPluginModule();
        NpapiPluginModule::GetModule(key)->getPluginFuncs(pFuncs);
        return NPError(NPERR_NO_ERROR);
    });
}

NP_EXPORT NPError NP_Initialize(NPNetscapeFuncs* bFuncs) {
    const void* const key = FB::Npapi::callerImage(__builtin_return_address(0));
    return FB::Npapi::exceptionBarrier("NP_Initialize", NPError(NPERR_GENERIC_ERROR), [&] {
        if (!bFuncs) {
            return NPError(NPERR_INVALID_FUNCTABLE_ERROR);
        }
        initPluginModule();
        NpapiPluginModule::GetModule(key)->setNetscapeFuncs(bFuncs);
        FBLOG_INFO("NPAPI", "Initialization done");
        return NPError(NPERR_NO_ERROR);
    });
}

// Fails when the module's end finds a host or plug-in core still alive.
NP_EXPORT NPError NP_Shutdown(void) {
    const void* const key = FB::Npapi::callerImage(__builtin_return_address(0));
    return FB::Npapi::exceptionBarrier("NP_Shutdown", NPError(NPERR_GENERIC_ERROR), [&] {
        FBLOG_INFO("NPAPI", "");
        NpapiPluginModule::ReleaseModule(key);
        return NPError(NPERR_NO_ERROR);
    });
}
