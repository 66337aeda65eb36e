// worker_pool.h - the threads a tracker shares one frame's work out to.
// The thread that calls run() works too, and never waits for a helper that
// has not yet woken: a run ends when its items are done. A pool of one
// thread has no helper and runs everything in place. Internal to the core.
#ifndef MORVEX_TRACKER_WORKER_POOL_H
#define MORVEX_TRACKER_WORKER_POOL_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace mvcore {

class WorkerPool {
public:
    typedef void (*Work)(void *context, int item);

    WorkerPool() = default;
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;
    ~WorkerPool() { resize(1); }

    // Threads working on run(), the caller's included: `threads` (at least
    // 1), or fewer when the system will not start more. Returns how many.
    // Not during run().
    int resize(int threads);
    int size() const { return (int)helpers_.size() + 1; }

    // Calls work(context, i) once for each i in 0 .. count - 1, spread over
    // the threads, and returns when every call has returned. Calls must not
    // throw. One run at a time.
    void run(int count, Work work, void *context);

    // Gets sleeping helpers up to watch for the next run, which will then
    // start without waiting for them to wake. For a caller about to run.
    void wake();

    // The same as a plain function, for stages that take a runner.
    static void run_on(void *pool, int count, Work work, void *context)
    {
        static_cast<WorkerPool *>(pool)->run(count, work, context);
    }

private:
    struct Job {
        Work work;
        void *context;
        int count;
        std::atomic<int> next{0};   // the next item to take
        std::atomic<int> done{0};   // items whose call has returned
    };
    void helper_loop();
    static void take_items(Job &job);

    std::vector<std::thread> helpers_;
    std::atomic<bool> may_watch_{true};   // no more threads than processors: helpers watch before sleeping
    std::mutex mutex_;
    std::condition_variable wake_, left_;
    std::atomic<long> generation_{0};   // counts runs
    // Under mutex_: the run helpers may join, how many are in it, stopping.
    Job *job_ = nullptr;
    int inside_ = 0;
    bool stopping_ = false;
};

}  // namespace mvcore

#endif
