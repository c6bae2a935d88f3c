// The system proxy settings, as a dictionary the caller releases.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

struct SCDynamicStoreObject;
typedef const SCDynamicStoreObject* SCDynamicStoreRef;

// The current settings (store NULL); NULL when the system gives none.
CFDictionaryRef SCDynamicStoreCopyProxies(SCDynamicStoreRef store);

extern const CFStringRef kSCPropNetProxiesHTTPEnable;
extern const CFStringRef kSCPropNetProxiesHTTPProxy;
extern const CFStringRef kSCPropNetProxiesHTTPPort;
extern const CFStringRef kSCPropNetProxiesHTTPSEnable;
extern const CFStringRef kSCPropNetProxiesHTTPSProxy;
extern const CFStringRef kSCPropNetProxiesHTTPSPort;
extern const CFStringRef kSCPropNetProxiesSOCKSEnable;
extern const CFStringRef kSCPropNetProxiesSOCKSProxy;
extern const CFStringRef kSCPropNetProxiesSOCKSPort;
