// CoreFoundation objects: strings, numbers, dictionaries and their counting;
// the SystemConfiguration proxy dictionary built from the configured settings.
#include "CFRuntime.h"

#include <MacStandIn/StandIn.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include <utf8.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

// Built on first use: constant strings of other files register during static initialisation.
struct Registry {
    std::mutex mutex;
    std::map<const void*, CFRuntimeObject*> objects;
    macos::CFCounters counters;
    std::optional<macos::ProxySettings> proxies = macos::ProxySettings{};
};

Registry& registry() {
    static Registry* instance = new Registry; // outlives every static that may release
    return *instance;
}

} // namespace

struct CFNumberObject : CFRuntimeObject {
    explicit CFNumberObject(int number) : value(number) {}
    int value;
};

struct CFDictionaryObject : CFRuntimeObject {
    ~CFDictionaryObject() override {
        for (auto& [key, value] : entries) {
            CFRelease(key);
            CFRelease(value);
        }
    }
    std::vector<std::pair<CFStringRef, CFTypeRef>> entries;
};

namespace cfruntime {

void track(const void* address, CFRuntimeObject* object) {
    Registry& state = registry();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.objects[address] = object;
}

} // namespace cfruntime

CFStringRef makeConstantString(const char* text) {
    return cfruntime::createConstant<CFStringObject>(text);
}

void CFRelease(CFTypeRef object) {
    CFRuntimeObject* released = nullptr;
    {
        Registry& state = registry();
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.counters.releases;
        auto found = state.objects.find(object);
        if (found == state.objects.end()) {
            ++state.counters.foreignReleases;
            return;
        }
        if (found->second->immortal || --found->second->references > 0)
            return;
        released = found->second;
        state.objects.erase(found);
    }
    delete released;
}

CFIndex CFStringGetLength(CFStringRef string) {
    const std::string& text = string->utf8;
    std::u16string units;
    utf8::utf8to16(text.begin(), text.end(), std::back_inserter(units));
    return static_cast<CFIndex>(units.size());
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    const std::string& text = string->utf8;
    if (encoding != kCFStringEncodingUTF8 || bufferSize <= 0 ||
        text.size() + 1 > static_cast<size_t>(bufferSize))
        return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr) {
    if (type != kCFNumberSInt32Type && type != kCFNumberIntType)
        return false;
    int32_t value = number->value;
    std::memcpy(valuePtr, &value, sizeof value);
    return true;
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key) {
    const auto* wanted = static_cast<CFStringRef>(key);
    for (const auto& [entryKey, value] : dictionary->entries)
        if (entryKey->utf8 == wanted->utf8)
            return value;
    return nullptr;
}

const CFStringRef kSCPropNetProxiesHTTPEnable = makeConstantString("HTTPEnable");
const CFStringRef kSCPropNetProxiesHTTPProxy = makeConstantString("HTTPProxy");
const CFStringRef kSCPropNetProxiesHTTPPort = makeConstantString("HTTPPort");
const CFStringRef kSCPropNetProxiesHTTPSEnable = makeConstantString("HTTPSEnable");
const CFStringRef kSCPropNetProxiesHTTPSProxy = makeConstantString("HTTPSProxy");
const CFStringRef kSCPropNetProxiesHTTPSPort = makeConstantString("HTTPSPort");
const CFStringRef kSCPropNetProxiesSOCKSEnable = makeConstantString("SOCKSEnable");
const CFStringRef kSCPropNetProxiesSOCKSProxy = makeConstantString("SOCKSProxy");
const CFStringRef kSCPropNetProxiesSOCKSPort = makeConstantString("SOCKSPort");

namespace {

CFTypeRef makeProxyValue(const macos::ProxyValue& value) {
    if (const int* number = std::get_if<int>(&value))
        return cfruntime::create<CFNumberObject>(*number);
    return cfruntime::create<CFStringObject>(std::get<std::string>(value));
}

} // namespace

CFDictionaryRef SCDynamicStoreCopyProxies(SCDynamicStoreRef) {
    std::optional<macos::ProxySettings> settings;
    {
        Registry& state = registry();
        std::lock_guard<std::mutex> lock(state.mutex);
        settings = state.proxies;
    }
    if (!settings)
        return nullptr;
    auto* dictionary = cfruntime::create<CFDictionaryObject>();
    for (const auto& [name, value] : *settings)
        dictionary->entries.push_back(
            {cfruntime::create<CFStringObject>(name), makeProxyValue(value)});
    return dictionary;
}

namespace macos {

void setSystemProxies(const std::optional<ProxySettings>& settings) {
    Registry& state = registry();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.proxies = settings;
}

CFCounters cfCounters() {
    Registry& state = registry();
    std::lock_guard<std::mutex> lock(state.mutex);
    CFCounters counters = state.counters;
    counters.live = 0;
    for (const auto& entry : state.objects)
        if (!entry.second->immortal)
            ++counters.live;
    return counters;
}

} // namespace macos
