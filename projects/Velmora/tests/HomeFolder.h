// The home folder the plug-in sees in these tests.
#pragma once

#include <string>

// Where FB::System::getHomeDirPath points; "" at the start.
void setHomeFolder(const std::string& path);
