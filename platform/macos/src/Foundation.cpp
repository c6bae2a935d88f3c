// NSString, NSArray, the standard folders and NSLog.
#include <Foundation/Foundation.h>
#include <MacStandIn/StandIn.h>

#include <utf8.h>

#include <cstdio>
#include <cstdlib>
#include <iconv.h>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace {

struct Folders {
    std::optional<std::string> home;
    std::optional<std::string> temporary;
    std::optional<std::vector<std::string>> applicationSupport;
};

std::mutex g_stateMutex;
Folders g_folders;
std::vector<std::string> g_log;

std::string defaultHome() {
    if (const char* home = std::getenv("HOME"))
        return home;
    if (const passwd* user = getpwuid(getuid()))
        return user->pw_dir;
    return "/";
}

std::string withTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string homeDirectory() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    return g_folders.home.value_or(defaultHome());
}

std::string temporaryDirectory() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    if (g_folders.temporary)
        return withTrailingSlash(*g_folders.temporary);
    const char* tmp = std::getenv("TMPDIR");
    return withTrailingSlash(tmp && *tmp ? tmp : "/tmp");
}

std::optional<std::vector<std::string>> applicationSupportOverride() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    return g_folders.applicationSupport;
}

std::string stripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string stripLeadingSlashes(const std::string& path) {
    size_t first = path.find_first_not_of('/');
    return first == std::string::npos ? std::string() : path.substr(first);
}

// Converts UTF-8 text with iconv; nothing when a character has no form there.
std::optional<std::string> convertWithIconv(const std::string& utf8, const char* encoding) {
    iconv_t converter = iconv_open(encoding, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string input = utf8;
    std::string output(input.size() * 4 + 4, '\0');
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    output.resize(output.size() - outLeft);
    return output;
}

} // namespace

NSString::NSString(std::u16string units) : m_units(std::move(units)) {}

NSString* NSString::stringWithUTF8String(const char* text) {
    if (!text)
        return nil;
    std::string utf8(text);
    if (!utf8::is_valid(utf8.begin(), utf8.end()))
        return nil;
    std::u16string units;
    utf8::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(units));
    return static_cast<NSString*>((new NSString(std::move(units)))->autorelease());
}

NSStringEncoding NSString::defaultCStringEncoding() {
    return NSMacOSRomanStringEncoding;
}

unichar NSString::characterAtIndex(NSUInteger index) const {
    if (index >= m_units.size())
        throw std::out_of_range("NSString characterAtIndex: index beyond bounds");
    return m_units[index];
}

const char* NSString::UTF8String() const {
    return cStringUsingEncoding(NSUTF8StringEncoding);
}

const char* NSString::cStringUsingEncoding(NSStringEncoding encoding) const {
    auto known = m_encoded.find(encoding);
    if (known != m_encoded.end())
        return known->second.c_str();
    if (m_unencodable.count(encoding))
        return nullptr;
    std::string utf8;
    utf8::utf16to8(m_units.begin(), m_units.end(), std::back_inserter(utf8));
    std::optional<std::string> encoded;
    if (encoding == NSUTF8StringEncoding)
        encoded = utf8;
    else if (encoding == NSASCIIStringEncoding)
        encoded = convertWithIconv(utf8, "ASCII");
    else if (encoding == NSMacOSRomanStringEncoding)
        encoded = convertWithIconv(utf8, "MACINTOSH");
    if (!encoded) {
        m_unencodable[encoding] = true;
        return nullptr;
    }
    return m_encoded.emplace(encoding, std::move(*encoded)).first->second.c_str();
}

NSString* NSString::stringByAppendingPathComponent(NSString* component) const {
    std::string path = stripTrailingSlashes(UTF8String());
    std::string tail = component ? stripLeadingSlashes(component->UTF8String()) : std::string();
    if (!tail.empty())
        path += (path.empty() || path.back() == '/' ? "" : "/") + tail;
    return stringWithUTF8String(path.c_str());
}

NSArray::NSArray(const std::vector<NSObject*>& objects) : m_objects(objects) {
    for (NSObject* object : m_objects)
        object->retain();
}

NSArray::~NSArray() {
    for (NSObject* object : m_objects)
        object->release();
}

NSArray* NSArray::arrayWithObjects(const std::vector<NSObject*>& objects) {
    return static_cast<NSArray*>((new NSArray(objects))->autorelease());
}

id NSArray::objectAtIndex(NSUInteger index) const {
    if (index >= m_objects.size())
        throw std::out_of_range("NSArray objectAtIndex: index beyond bounds");
    return m_objects[index];
}

NSString* NSHomeDirectory(void) {
    return NSString::stringWithUTF8String(homeDirectory().c_str());
}

NSString* NSTemporaryDirectory(void) {
    return NSString::stringWithUTF8String(temporaryDirectory().c_str());
}

NSArray* NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                             NSSearchPathDomainMask domainMask, BOOL expandTilde) {
    std::vector<NSObject*> found;
    if (directory == NSApplicationSupportDirectory && (domainMask & NSUserDomainMask)) {
        std::vector<std::string> paths = applicationSupportOverride().value_or(
            std::vector<std::string>{(expandTilde ? homeDirectory() : std::string("~")) +
                                     "/Library/Application Support"});
        for (const std::string& path : paths)
            found.push_back(NSString::stringWithUTF8String(path.c_str()));
    }
    return NSArray::arrayWithObjects(found);
}

void NSLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(message.data(), message.size() + 1, format, args);
    va_end(args);
    {
        std::lock_guard<std::mutex> lock(g_stateMutex);
        g_log.push_back(message);
    }
    std::fprintf(stderr, "NSLog: %s\n", message.c_str());
}

namespace macos {

std::vector<std::string> loggedMessages() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    return g_log;
}

void clearLoggedMessages() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_log.clear();
}

void setHomeDirectory(const std::optional<std::string>& path) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_folders.home = path;
}

void setTemporaryDirectory(const std::optional<std::string>& path) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_folders.temporary = path;
}

void setApplicationSupportDirectories(const std::optional<std::vector<std::string>>& paths) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_folders.applicationSupport = paths;
}

} // namespace macos
