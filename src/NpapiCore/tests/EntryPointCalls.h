#pragma once

// One call of each NPP entry point but NPP_New and NPP_Destroy, in the
// order of the browser's table, as the tests of the entry points make them.

#include <NPAPI.h>

#include <map>
#include <string>

namespace npapitest {

// The answers of the entry points that answer, by name. Arguments: a
// NetworkError destruction, data "abc" at position 7, the file "/tmp/x",
// the URL "http://example.com/", the plug-in's name asked for, the
// private-mode variable set.
inline std::map<std::string, int> callEntryPoints(const NPPluginFuncs& f, NPP instance) {
    NPStream stream{};
    NPWindow window{};
    uint16_t type = 0;
    char mime[] = "text/plain";
    char data[] = "abc";
    const char* name = nullptr;
    std::map<std::string, int> answers;
    answers["NPP_SetWindow"] = f.setwindow(instance, &window);
    answers["NPP_NewStream"] = f.newstream(instance, mime, &stream, false, &type);
    answers["NPP_DestroyStream"] = f.destroystream(instance, &stream, NPRES_NETWORK_ERR);
    f.asfile(instance, &stream, "/tmp/x");
    answers["NPP_WriteReady"] = f.writeready(instance, &stream);
    answers["NPP_Write"] = f.write(instance, &stream, 7, 3, data);
    f.print(instance, nullptr);
    answers["NPP_HandleEvent"] = f.event(instance, nullptr);
    f.urlnotify(instance, "http://example.com/", NPRES_DONE, nullptr);
    answers["NPP_GetValue"] = f.getvalue(instance, NPPVpluginNameString, &name);
    answers["NPP_SetValue"] = f.setvalue(instance, NPNVprivateModeBool, nullptr);
    return answers;
}

} // namespace npapitest
