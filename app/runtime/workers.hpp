// The worker threads of one conversion: a small pool over std::thread,
// started once the scene is read and joined when the conversion ends. The
// workers never take the termination signals: those reach the main thread,
// whose handler removes the temporaries.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tessvert {

struct worker_pool {
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable wake;      // a job for the workers, or the pool closes
    std::condition_variable finished;  // the last worker is done with the job
    const std::function<void()>* job = nullptr;
    std::uint64_t job_number = 0;  // raised for each job
    std::size_t busy = 0;          // workers still running the job
    bool closing = false;
    std::exception_ptr error;  // the first exception a worker's job threw

    worker_pool() = default;
    worker_pool(const worker_pool&) = delete;
    worker_pool& operator=(const worker_pool&) = delete;
    ~worker_pool();  // the workers finish and are joined
};

// The threads a conversion uses: `requested` (1 to 256), or when it is 0
// the CPUs this process may run on (its affinity mask), at most 256.
std::int32_t threads_to_use(std::int32_t requested);

// Keeps each thread's address space small, for the whole process: one
// malloc arena shared by all threads instead of one reserving 64 MB for
// each, and worker stacks of worker_stack_size instead of the 8 MB a
// thread gets by default. Under an address-space limit (ulimit -v) a run
// on many threads then needs little more than a run on one. Called once,
// before any worker starts.
void limit_thread_memory();

// The stack of each worker: what the work needs is small and bounded.
// ThreadSanitizer keeps each thread's state, most of a megabyte, in its
// static TLS, which is taken from the stack: under it a worker keeps the
// default 8 MB, or no thread would start.
#if defined(__SANITIZE_THREAD__)
#define TESSVERT_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSVERT_THREAD_SANITIZER 1
#endif
#endif
#ifdef TESSVERT_THREAD_SANITIZER
inline constexpr std::size_t worker_stack_size = std::size_t{8} << 20;
#else
inline constexpr std::size_t worker_stack_size = std::size_t{512} << 10;
#endif

// Starts workers until the pool has `count`; fewer when the system will not
// start more. Their termination signals are blocked.
void start_workers(worker_pool& pool, std::size_t count);

// Ends the pool's workers and joins them; afterwards it has none, and
// start_workers may start new ones.
void stop_workers(worker_pool& pool);

// Runs `work` on every worker and `own` on the calling thread at the same
// time, and returns when all are done. An exception of any of them is
// thrown again here, after all are done (the first one when several threw);
// the jobs themselves must see to it that the others then stop waiting for
// the one that threw.
void run_on_workers(worker_pool& pool, const std::function<void()>& work, const std::function<void()>& own);

// Calls `body(i)` once for each i in [0, count), on the workers of `pool`
// and the calling thread, each taking the next i as it is free; on the
// calling thread alone, in order, when `pool` is null or has no workers.
// After an exception no further i is started, and it is thrown here.
void for_each_index(worker_pool* pool, std::size_t count, const std::function<void(std::size_t)>& body);

}  // namespace tessvert
