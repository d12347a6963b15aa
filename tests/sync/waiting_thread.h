// A thread that runs one wait and keeps its outcome, for tests of blocking primitives.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "kal/sim/sync.h"
#include "kzapal/protons/status.h"
#include "kzkal/sync.h"

class WaitingThread {
public:
    using Wait = std::function<bool(nKZAPALS100::tStatus&)>;

    explicit WaitingThread(Wait wait)
        : thread_([this, wait = std::move(wait)] {
              handle_.store(nKZKAL100_getThreadHandle());
              result_ = wait(status_);
              done_.store(true);
          }) {}
    // A thread still blocked here would hang the test program: fail loudly instead.
    ~WaitingThread() {
        if (!thread_.joinable()) return;
        if (!finishes()) {
            std::fprintf(stderr, "a waiting thread never returned\n");
            std::abort();
        }
        thread_.join();
    }

    void* handle() const {
        void* handle;
        while ((handle = handle_.load()) == nullptr) std::this_thread::yield();
        return handle;
    }
    // True once the thread is blocked in its wait.
    bool blocked() const { return kal::sim::awaitBlocked(handle()); }
    bool done() const { return done_.load(); }
    bool finishes(std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    }
    // The wait's result once it has returned; a wait that does not return fails the test.
    bool result() {
        if (thread_.joinable()) {
            if (!finishes()) {
                ADD_FAILURE() << "the wait did not return";
                return false;
            }
            thread_.join();
        }
        return result_;
    }
    int64_t code() {
        result();
        return status_.code;
    }

private:
    std::atomic<void*> handle_{nullptr};
    std::atomic<bool> done_{false};
    bool result_ = false;
    nKZAPALS100::tStatus status_;
    std::thread thread_;
};
