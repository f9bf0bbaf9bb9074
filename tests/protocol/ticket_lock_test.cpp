// The step queue grants its turns in the order they were asked for.

#include "protocol/ticket_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace zv {
namespace {

TEST(TicketLock, WaitersGetTheLockInTheOrderTheyAskedAndOneAtATime) {
    TTicketLock lock;
    EXPECT_EQ(lock.queued(), 0u);
    lock.lock();
    EXPECT_EQ(lock.queued(), 1u);

    std::mutex orderMutex;
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            std::lock_guard turn(lock);
            const int now = ++inside;
            if (now > mostInside) mostInside = now;
            std::this_thread::yield();
            {
                std::lock_guard guard(orderMutex);
                order.push_back(i);
            }
            --inside;
        });
        // The next thread asks only once this one is waiting.
        while (lock.queued() != static_cast<std::size_t>(i) + 2) std::this_thread::yield();
    }
    lock.unlock();
    for (auto& t : threads) t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(mostInside, 1);
    EXPECT_EQ(lock.queued(), 0u);

    // Free again: taken at once.
    lock.lock();
    lock.unlock();
}

}  // namespace
}  // namespace zv
