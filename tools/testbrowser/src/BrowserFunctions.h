// The browser's NPN functions and their table.
#pragma once

#include <NPAPI.h>

#include <string>
#include <vector>

namespace testbrowser {

// Every entry the browser offers, with the size and the given version.
NPNetscapeFuncs browserFunctionTable(uint16_t version);
std::vector<std::string> browserFunctionNames();
// Raises std::invalid_argument for a name that is not a table entry.
void clearBrowserFunction(NPNetscapeFuncs& table, const std::string& name);

} // namespace testbrowser
