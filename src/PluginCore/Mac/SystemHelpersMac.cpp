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
    // A name that is not UTF-8 has no Foundation string; appending nothing
    // would name the Application Support folder itself.
    NSString* const name = NSString::stringWithUTF8String(appName.c_str());
    if (!name) {
        return "";
    }
    NSString* const folder = static_cast<NSString*>(folders->objectAtIndex(0));
    return textOf(folder->stringByAppendingPathComponent(name));
}

std::string getLocalAppDataPath(const std::string& appName) {
    return getAppDataPath(appName);
}

} // namespace System
} // namespace FB
