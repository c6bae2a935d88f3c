#include "logging.h"
#include "LogCapture.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(Logging, EveryLevelReachesAnInstalledRecorderWithItsPlaceInTheSource) {
    FB::Log::initLogging();
    FB::Log::initLogging();
    LogCapture capture;
    FB::Log::trace("T", "one", "a.cpp", 1, "f1");
    FB::Log::debug("D", "two", "b.cpp", 2, "f2");
    FB::Log::info("I", "three", "c.cpp", 3, "f3");
    FB::Log::warn("W", "four", "d.cpp", 4, "f4");
    FB::Log::error("E", "five", "e.cpp", 5, "f5");
    FB::Log::fatal("F", "six", "f.cpp", 6, "f6");

    const std::vector<FB::Log::Record> records = capture.records();
    ASSERT_EQ(records.size(), 6u);
    const FB::Log::LogLevel levels[] = {FB::Log::LogLevel_Trace, FB::Log::LogLevel_Debug,
                                        FB::Log::LogLevel_Info,  FB::Log::LogLevel_Warn,
                                        FB::Log::LogLevel_Error, FB::Log::LogLevel_Fatal};
    const char* const sources[] = {"T", "D", "I", "W", "E", "F"};
    const char* const messages[] = {"one", "two", "three", "four", "five", "six"};
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].level, levels[i]);
        EXPECT_EQ(records[i].src, sources[i]);
        EXPECT_EQ(records[i].msg, messages[i]);
        EXPECT_EQ(records[i].line, static_cast<int>(i + 1));
        EXPECT_EQ(records[i].fn, "f" + std::to_string(i + 1));
    }
    EXPECT_EQ(records[0].file, "a.cpp");
}

TEST(Logging, TheMacrosNameTheCallersFileLineAndFunction) {
    LogCapture capture;
    const int line = __LINE__ + 1;
    FBLOG_WARN("Test", "text");
    const std::vector<FB::Log::Record> records = capture.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, FB::Log::LogLevel_Warn);
    EXPECT_EQ(records[0].line, line);
    EXPECT_NE(records[0].file.find("LoggingTest.cpp"), std::string::npos);
    EXPECT_NE(records[0].fn.find("TestBody"), std::string::npos);
}

TEST(Logging, ARemovedRecorderSeesNothingMore) {
    LogCapture capture;
    FB::Log::info("Test", "kept", "x.cpp", 1, "f");
    FB::Log::setRecorder(nullptr);
    FB::Log::info("Test", "dropped", "x.cpp", 2, "f");
    FB::Log::stopLogging();
    EXPECT_EQ(capture.messages("Test"), std::vector<std::string>{"kept"});
}

TEST(Logging, ManyThreadsMayLogAtOnce) {
    LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) {
                FBLOG_TRACE("Test", "line");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(capture.messages("Test").size(), 400u);
}

} // namespace
