#pragma once

// Records what the framework logs for as long as it lives, through the
// discarding sink's recorder seam. One capture at a time; any thread may log.

#include "NullLogger.h"

#include <mutex>
#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture() {
        clear();
        FB::Log::setRecorder(&LogCapture::record);
    }
    ~LogCapture() { FB::Log::setRecorder(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<FB::Log::Record> records() const {
        std::lock_guard<std::mutex> lock(mutex());
        return recorded();
    }

    // The messages logged under the source tag, in order.
    std::vector<std::string> messages(const std::string& src) const {
        std::vector<std::string> found;
        for (const FB::Log::Record& record : records()) {
            if (record.src == src) {
                found.push_back(record.msg);
            }
        }
        return found;
    }

    void clear() {
        std::lock_guard<std::mutex> lock(mutex());
        recorded().clear();
    }

private:
    static void record(const FB::Log::Record& entry) {
        std::lock_guard<std::mutex> lock(mutex());
        recorded().push_back(entry);
    }
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::vector<FB::Log::Record>& recorded() {
        static std::vector<FB::Log::Record> instance;
        return instance;
    }
};
