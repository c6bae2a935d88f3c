#pragma once

// FB::System: the user's standard folders as UTF-8 paths, as the operating
// system names them. Nothing is created and nothing is checked for
// existence. Any thread may call them.

#include <string>

namespace FB {
namespace System {

// The user's home folder.
std::string getHomeDirPath();
// The user's per-application data folder with appName appended as one path
// component; "" when the system names no such folder or appName is not
// UTF-8.
std::string getAppDataPath(const std::string& appName);
// The same as getAppDataPath on this platform.
std::string getLocalAppDataPath(const std::string& appName);
std::string getTempPath();

} // namespace System
} // namespace FB
