#include "HomeFolder.h"

#include "SystemHelpersMac.h"

namespace {

std::string homeFolder;

} // namespace

void setHomeFolder(const std::string& path) {
    homeFolder = path;
}

namespace FB {
namespace System {

std::string getHomeDirPath() {
    return homeFolder;
}

} // namespace System
} // namespace FB
