#pragma once

// The discarding sink's one seam for tests: while a recorder is installed,
// every call of a level entry point is handed to it. With none installed the
// sink writes nothing and keeps nothing.

#include "logging.h"

#include <string>

namespace FB {
namespace Log {

struct Record {
    LogLevel level;
    std::string src;
    std::string msg;
    std::string file;
    int line;
    std::string fn;
};

// Called from whichever thread logs.
typedef void (*Recorder)(const Record& record);

// Installs recorder, or removes the one installed with nullptr; returns the
// recorder it replaces.
Recorder setRecorder(Recorder recorder);

} // namespace Log
} // namespace FB
