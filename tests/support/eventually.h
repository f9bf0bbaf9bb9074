#pragma once

#include <chrono>
#include <thread>

namespace zv::test {

// Polls `done` until it holds or the limit passes; returns its last answer.
// For effects that no reply announces, such as a client's punch-out.
template <typename Pred>
bool eventually(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace zv::test
