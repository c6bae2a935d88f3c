#pragma once

// The user's standard folders as UTF-8 paths.

#include <string>

namespace FB {
namespace System {

// The user's home folder.
std::string getHomeDirPath();

} // namespace System
} // namespace FB
