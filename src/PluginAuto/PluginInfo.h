#pragma once

// What the plug-in tells the browser about itself: its name, the description
// of each MIME type it handles, the MIME type it registers and whether it has
// a user interface of its own.

#include <string>

namespace FB {

// "Velmora_x86_64", whatever the MIME type.
std::string getPluginName(const std::string& mimetype);
// The description registered for the MIME type; "" for a type the plug-in
// does not handle.
std::string getPluginDescription(const std::string& mimetype);
// "application/x-velmora", the type of the plug-in's one entry.
std::string getPluginMimeType();
// False: the plug-in draws nothing, so the browser's window is not passed on.
bool pluginGuiEnabled();

} // namespace FB
