#pragma once

// FB::Log: the framework's logging entry points, one per level in rising
// severity. Each takes the source tag, the message and the caller's place in
// the source; which sink receives them is chosen at link time.

#include <boost/current_function.hpp>
#include <string>

namespace FB {
namespace Log {

// Where log output may go, as a factory names it.
enum LogMethod {
    LogMethod_Console = 1,
};

// The levels, one bit each, in rising severity.
enum LogLevel {
    LogLevel_Trace = 0x01,
    LogLevel_Debug = 0x02,
    LogLevel_Info = 0x04,
    LogLevel_Warn = 0x08,
    LogLevel_Error = 0x10,
    LogLevel_Fatal = 0x20,
};

void initLogging();
void stopLogging();

void trace(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn);
void debug(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn);
void info(const std::string& src, const std::string& msg, const char* file, int line,
          const char* fn);
void warn(const std::string& src, const std::string& msg, const char* file, int line,
          const char* fn);
void error(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn);
void fatal(const std::string& src, const std::string& msg, const char* file, int line,
           const char* fn);

} // namespace Log
} // namespace FB

// Log calls with the caller's file, line and function filled in.
#define FBLOG_TRACE(src, msg) FB::Log::trace(src, msg, __FILE__, __LINE__, BOOST_CURRENT_FUNCTION)
#define FBLOG_INFO(src, msg) FB::Log::info(src, msg, __FILE__, __LINE__, BOOST_CURRENT_FUNCTION)
#define FBLOG_WARN(src, msg) FB::Log::warn(src, msg, __FILE__, __LINE__, BOOST_CURRENT_FUNCTION)
