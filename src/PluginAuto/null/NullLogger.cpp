// The logging sink of this system: every entry point discards what it is
// given.

#include "logging.h"

namespace FB {
namespace Log {

void initLogging() {}
void stopLogging() {}

void trace(const std::string&, const std::string&, const char*, int, const char*) {}
void debug(const std::string&, const std::string&, const char*, int, const char*) {}
void info(const std::string&, const std::string&, const char*, int, const char*) {}
void warn(const std::string&, const std::string&, const char*, int, const char*) {}
void error(const std::string&, const std::string&, const char*, int, const char*) {}
void fatal(const std::string&, const std::string&, const char*, int, const char*) {}

} // namespace Log
} // namespace FB
