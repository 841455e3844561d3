// The worker pool: every index once, exceptions thrown where the work was
// asked for, and workers that never take the termination signals.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <stdexcept>
#include <thread>
#include <vector>

#include <pthread.h>

#include "app/runtime/workers.hpp"

using namespace tessvert;

TEST(Workers, EachIndexOnceAndAnExceptionWhereTheWorkWasAsked) {
    worker_pool pool;
    start_workers(pool, 6);
    ASSERT_EQ(pool.threads.size(), 6u);
    for (int round = 0; round < 3; ++round) {  // the same workers, job after job
        std::vector<std::atomic<int>> calls(5000);
        for_each_index(&pool, calls.size(), [&](std::size_t i) { calls[i].fetch_add(1); });
        for (std::size_t i = 0; i < calls.size(); ++i) ASSERT_EQ(calls[i].load(), 1) << i;
    }
    // A throw on any thread comes out here, once every thread has stopped.
    std::atomic<int> running{0}, busy{0};
    EXPECT_THROW(for_each_index(&pool, 5000,
                                [&](std::size_t i) {
                                    running.fetch_add(1);
                                    for (int spin = 0; spin < 2000; ++spin)
                                        busy.fetch_add(1, std::memory_order_relaxed);
                                    running.fetch_sub(1);
                                    if (i == 700) throw std::runtime_error("index 700");
                                }),
                 std::runtime_error);
    EXPECT_EQ(running.load(), 0);
    // Stopped, the pool has no worker and does the work on this thread; it
    // may start workers again.
    stop_workers(pool);
    EXPECT_TRUE(pool.threads.empty());
    const std::thread::id here = std::this_thread::get_id();
    std::atomic<int> elsewhere{0};
    for_each_index(&pool, 100, [&](std::size_t) { elsewhere += std::this_thread::get_id() != here ? 1 : 0; });
    EXPECT_EQ(elsewhere.load(), 0);
    start_workers(pool, 2);
    ASSERT_EQ(pool.threads.size(), 2u);
    std::vector<std::atomic<int>> again(1000);
    for_each_index(&pool, again.size(), [&](std::size_t i) { again[i].fetch_add(1); });
    for (std::size_t i = 0; i < again.size(); ++i) ASSERT_EQ(again[i].load(), 1) << i;
    // Without a pool, in order on this thread.
    std::vector<std::size_t> order;
    for_each_index(nullptr, 4, [&](std::size_t i) { order.push_back(i); });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3}));
}

TEST(Workers, EveryWorkerRunsTheJobOnceWithTheTerminationSignalsBlocked) {
    worker_pool pool;
    start_workers(pool, 3);
    std::atomic<int> ran{0}, blocking{0};
    const std::function<void()> work = [&] {
        ran.fetch_add(1);
        sigset_t mask;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        if (sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1 && sigismember(&mask, SIGHUP) == 1)
            blocking.fetch_add(1);
    };
    bool own_ran = false;
    run_on_workers(pool, work, [&] { own_ran = true; });
    EXPECT_TRUE(own_ran);
    EXPECT_EQ(ran.load(), 3);
    EXPECT_EQ(blocking.load(), 3);
    // The thread that started them keeps its own mask.
    sigset_t mine;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mine);
    EXPECT_EQ(sigismember(&mine, SIGINT), 0);
}

// As a run starts them, under the limits it sets on its threads' memory:
// every worker asked for starts, and runs its share.
TEST(Workers, EveryWorkerAskedForStartsUnderTheRunsThreadLimits) {
    limit_thread_memory();
    worker_pool pool;
    start_workers(pool, 4);
    EXPECT_EQ(pool.threads.size(), 4u);
    std::atomic<int> ran{0};
    run_on_workers(
        pool, [&] { ran.fetch_add(1); }, [] {});
    EXPECT_EQ(ran.load(), 4);
}
