#include "app/runtime/workers.hpp"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>

#include "app/options.hpp"
#include "app/runtime/signals.hpp"

namespace tessvert {

namespace {

void worker_loop(worker_pool& pool, std::uint64_t seen) {
    std::unique_lock lock(pool.mutex);
    for (;;) {
        pool.wake.wait(lock, [&] { return pool.closing || pool.job_number != seen; });
        if (pool.closing) return;
        seen = pool.job_number;
        const std::function<void()>& job = *pool.job;
        lock.unlock();
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !pool.error) pool.error = error;
        if (--pool.busy == 0) pool.finished.notify_all();
    }
}

}  // namespace

worker_pool::~worker_pool() {
    stop_workers(*this);
}

void stop_workers(worker_pool& pool) {
    {
        const std::lock_guard lock(pool.mutex);
        pool.closing = true;
    }
    pool.wake.notify_all();
    for (std::thread& t : pool.threads) t.join();
    pool.threads.clear();
    const std::lock_guard lock(pool.mutex);
    pool.closing = false;
}

void limit_thread_memory() {
#ifdef __GLIBC__
    // Each arena past the first reserves 64 MB of address space. The
    // workers allocate little (an object's normals, a part's text, both
    // reused), so they share the main one.
    ::mallopt(M_ARENA_MAX, 1);
    pthread_attr_t attr;
    if (::pthread_attr_init(&attr) == 0) {
        if (::pthread_attr_setstacksize(&attr, worker_stack_size) == 0) ::pthread_setattr_default_np(&attr);
        ::pthread_attr_destroy(&attr);
    }
#endif
}

std::int32_t threads_to_use(std::int32_t requested) {
    if (requested > 0) return std::min(requested, max_threads);
    // The mask may name more CPUs than one cpu_set_t holds: the call then
    // fails with EINVAL, and a larger set is tried.
    for (std::size_t sets = 1; sets <= 64; sets *= 2) {
        std::vector<cpu_set_t> mask(sets);
        const std::size_t size = sets * sizeof(cpu_set_t);
        if (::sched_getaffinity(0, size, mask.data()) == 0)
            return std::clamp<std::int32_t>(CPU_COUNT_S(size, mask.data()), 1, max_threads);
        if (errno != EINVAL) break;
    }
    return 1;
}

void start_workers(worker_pool& pool, std::size_t count) {
    std::uint64_t job_number = 0;
    {
        const std::lock_guard lock(pool.mutex);
        job_number = pool.job_number;
    }
    // A thread starts with the signal mask of the thread that starts it.
    const termination_signals_held held;
    while (pool.threads.size() < count) {
        try {
            pool.threads.emplace_back(worker_loop, std::ref(pool), job_number);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones there do the work
        }
    }
}

void run_on_workers(worker_pool& pool, const std::function<void()>& work, const std::function<void()>& own) {
    {
        const std::lock_guard lock(pool.mutex);
        pool.job = &work;
        pool.busy = pool.threads.size();
        pool.error = nullptr;
        ++pool.job_number;
    }
    pool.wake.notify_all();
    std::exception_ptr error;
    try {
        own();
    } catch (...) {
        error = std::current_exception();
    }
    std::unique_lock lock(pool.mutex);
    pool.finished.wait(lock, [&] { return pool.busy == 0; });
    pool.job = nullptr;
    if (!error) error = pool.error;
    pool.error = nullptr;
    lock.unlock();
    if (error) std::rethrow_exception(error);
}

void for_each_index(worker_pool* pool, std::size_t count, const std::function<void(std::size_t)>& body) {
    if (pool == nullptr || pool->threads.empty() || count < 2) {
        for (std::size_t i = 0; i < count; ++i) body(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const std::function<void()> take = [&] {
        try {
            for (std::size_t i = 0; !failed.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < count;)
                body(i);
        } catch (...) {
            failed.store(true, std::memory_order_relaxed);
            throw;
        }
    };
    run_on_workers(*pool, take, take);
}

}  // namespace tessvert
