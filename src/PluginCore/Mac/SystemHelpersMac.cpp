// The standard folders as Foundation names them. Each call runs in its own
// autorelease pool and copies the text before the pool goes.

#include "SystemHelpersMac.h"

#include "MacResources.h"

#include <Foundation/Foundation.h>

namespace FB {
namespace System {

namespace {

std::string textOf(NSString* string) {
    const char* const utf8 = string ? string->UTF8String() : nullptr;
    return utf8 ? utf8 : "";
}

} // namespace

std::string getHomeDirPath() {
    const Mac::AutoreleasePool pool;
    return textOf(NSHomeDirectory());
}

std::string getTempPath() {
    const Mac::AutoreleasePool pool;
    return textOf(NSTemporaryDirectory());
}

std::string getAppDataPath(const std::string& appName) {
    const Mac::AutoreleasePool pool;
    NSArray* const folders =
        NSSearchPathForDirectoriesInDomains(NSApplicationSupportDirectory, NSUserDomainMask, YES);
    if (!folders || folders->count() == 0) {
        return "";
    }
    NSString* const folder = static_cast<NSString*>(folders->objectAtIndex(0));
    return textOf(
        folder->stringByAppendingPathComponent(NSString::stringWithUTF8String(appName.c_str())));
}

std::string getLocalAppDataPath(const std::string& appName) {
    return getAppDataPath(appName);
}

} // namespace System
} // namespace FB
