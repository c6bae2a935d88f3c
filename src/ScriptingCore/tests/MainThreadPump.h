#pragma once

// Bounded waits for tests that play the main thread while workers call it.

#include "FakeBrowserHost.h"

#include <chrono>
#include <functional>
#include <thread>

// Pumps the host's main-thread queue until done() holds; false when it does
// not within the time limit.
inline bool pumpUntil(FakeBrowserHost& host, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        if (host.pumpMainThread() == 0) {
            std::this_thread::yield();
        }
    }
    return true;
}

// Waits without pumping until done() holds; false when it does not within
// the time limit.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}
