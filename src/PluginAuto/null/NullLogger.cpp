// The logging sink of this system: every entry point discards what it is
// given, unless a test has installed a recorder.

#include "NullLogger.h"

#include <atomic>

namespace FB {
namespace Log {

namespace {

std::atomic<Recorder> installedRecorder(nullptr);

void pass(LogLevel level, const std::string& src, const std::string& msg, const char* file,
          int line, const char* fn) {
    if (const Recorder recorder = installedRecorder.load()) {
        recorder(Record{level, src, msg, file ? file : "", line, fn ? fn : ""});
    }
}

} // namespace

Recorder setRecorder(Recorder recorder) {
    return installedRecorder.exchange(recorder);
}

void initLogging() {}
void stopLogging() {}

void trace(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn) {
    pass(LogLevel_Trace, src, msg, file, line, fn);
}

void debug(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn) {
    pass(LogLevel_Debug, src, msg, file, line, fn);
}

void info(const std::string& src, const std::string& msg, const char* file, int line,
          const char* fn) {
    pass(LogLevel_Info, src, msg, file, line, fn);
}

void warn(const std::string& src, const std::string& msg, const char* file, int line,
          const char* fn) {
    pass(LogLevel_Warn, src, msg, file, line, fn);
}

void error(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn) {
    pass(LogLevel_Error, src, msg, file, line, fn);
}

void fatal(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn) {
    pass(LogLevel_Fatal, src, msg, file, line, fn);
}

} // namespace Log
} // namespace FB
