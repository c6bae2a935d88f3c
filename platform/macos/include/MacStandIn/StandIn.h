// What tests and the test browser set and read of the macOS stand-ins.
#pragma once

#include <CoreGraphics/CoreGraphics.h>

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace macos {

// NSLog: every message since the last clear, in order.
std::vector<std::string> loggedMessages();
void clearLoggedMessages();

// Objects of the object runtime alive now (NSObject and subclasses).
size_t liveObjects();
// NSTimer invalidate calls made on a thread other than the timer's own.
size_t timerInvalidationsFromOtherThreads();
// Main thread: releases what was autoreleased with no pool in place. The run
// loop does it after each task; the browser after its own calls into a module.
void drainMainThreadPool();

// Folders. Unset, the home folder is $HOME, the temporary folder $TMPDIR or
// /tmp (always with a trailing "/"), and Application Support is
// <home>/Library/Application Support.
void setHomeDirectory(const std::optional<std::string>& path);
void setTemporaryDirectory(const std::optional<std::string>& path);
// Replaces the list NSSearchPathForDirectoriesInDomains gives for
// Application Support in the user's domain (it may be empty).
void setApplicationSupportDirectories(const std::optional<std::vector<std::string>>& paths);

// System proxy settings, keyed by the names of the kSCPropNetProxies keys
// without their prefix ("HTTPEnable", "HTTPProxy", "HTTPPort", ...): numbers
// become CFNumbers, texts CFStrings. Unset, the settings are empty; with
// std::nullopt SCDynamicStoreCopyProxies gives NULL.
using ProxyValue = std::variant<int, std::string>;
using ProxySettings = std::map<std::string, ProxyValue>;
void setSystemProxies(const std::optional<ProxySettings>& settings);

// CoreFoundation objects: alive now, CFRelease calls, and CFRelease calls on
// something that was not a live object.
struct CFCounters {
    size_t live = 0;
    size_t releases = 0;
    size_t foreignReleases = 0;
};
CFCounters cfCounters();

// A recording CoreGraphics context (retain count 1, CGContextRelease frees it).
CGContextRef createRecordingContext();
// Its calls, one line each, for example "SaveGState", "FillRect 0 0 400 24",
// "SetFillColor 0 0 0 1", "ShowTextAtPoint 0 19 CoreGraphics 0.0 fps #0".
std::vector<std::string> recordedDrawing(CGContextRef context);
void clearRecordedDrawing(CGContextRef context);
// Saved graphics states not yet restored.
size_t savedStateDepth(CGContextRef context);

} // namespace macos
