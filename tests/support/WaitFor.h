// Waiting for something to happen: a file to appear, a byte to arrive, a process to write its
// line. Synchronisation only, never a measurement: the limit is one that only a broken program
// reaches, and a test asserts what it waited for afterwards.
//
// For a thread that runs no Qt events (a scripted device, a child process being watched); a
// test that must keep the program's events going meanwhile uses QTest::qWaitFor.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Polls COND until it holds; false when it still does not after LIMITMS milliseconds.
inline bool eventually(const std::function<bool()>& cond, int limitMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
