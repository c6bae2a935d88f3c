// What the browser keeps of the module's calls, for tests to read.
#pragma once

#include <NPAPI.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testbrowser {

struct SetValueCall {
    NPP instance;
    NPPVariable variable;
    intptr_t value;
    NPError result;
};

struct InvalidatedRect {
    NPP instance;
    NPRect rect;
};

struct UrlRequest {
    NPP instance;
    std::string method; // "GET" or "POST"
    std::string url;
    bool hasTarget;
    std::string target;
    std::string body; // POST only
    bool bodyIsFile;
    bool notify;
    void* notifyData;
};

struct ByteRange {
    int32_t offset;
    uint32_t length;
};

struct ReadRequest {
    NPStream* stream;
    std::vector<ByteRange> ranges;
};

struct Records {
    std::vector<SetValueCall> setValues;
    std::vector<InvalidatedRect> invalidatedRects;
    std::vector<UrlRequest> urlRequests;
    std::vector<ReadRequest> readRequests;
    std::vector<std::pair<NPStream*, NPReason>> streamsDestroyedByPlugin;
    std::vector<std::string> statusMessages;
    std::vector<std::string> exceptionsSet;    // texts given to setexception
    std::vector<std::string> scriptErrorsSeen; // page exceptions met inside NPN calls
    std::vector<std::string> boundaryFaults;   // C++ exceptions that left a module callback
    std::vector<std::string> unknownReleases;  // releaseobject/memfree of what is not live
    size_t asyncCallsRun = 0;
    size_t asyncCallsDropped = 0; // their instance was gone
};

} // namespace testbrowser
