/* worker_pool.cpp - helpers that share the items of a run by taking the
   next one left. Between runs a helper first watches for the next one for
   a short while, then sleeps: waking a sleeping thread can take longer than
   a stage of a frame, and stages follow each other closely. */
#include "worker_pool.h"

#include <chrono>
#include <system_error>

namespace mvcore {

namespace {

// How long a helper, or the caller waiting for the last items, watches
// before it sleeps.
constexpr auto kWatch = std::chrono::microseconds(300);

inline void relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Watches until done() or kWatch has passed; true when done(). The
// processor is offered to other threads now and then, so that watching
// costs little on a busy machine.
template <typename Done>
bool watch(Done done)
{
    const auto until = std::chrono::steady_clock::now() + kWatch;
    for (int k = 0;; k++) {
        if (done()) return true;
        relax();
        if ((k & 31) == 31) {
            std::this_thread::yield();
            if (std::chrono::steady_clock::now() >= until) return false;
        }
    }
}

}  // namespace

int WorkerPool::resize(int threads)
{
    if (threads < 1) threads = 1;
    if ((int)helpers_.size() > threads - 1) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread &t : helpers_) t.join();
        helpers_.clear();
        stopping_ = false;
    }
    // With more threads than processors, watching would only take time from
    // the threads being waited for.
    may_watch_ = threads <= (int)std::thread::hardware_concurrency();
    while ((int)helpers_.size() < threads - 1) {
        try {
            helpers_.emplace_back(&WorkerPool::helper_loop, this);
        } catch (const std::system_error &) {
            break;   // no more threads to be had: work with those there are
        } catch (const std::bad_alloc &) {
            break;
        }
    }
    return size();
}

void WorkerPool::take_items(Job &job)
{
    for (int i = job.next.fetch_add(1); i < job.count; i = job.next.fetch_add(1)) {
        job.work(job.context, i);
        job.done.fetch_add(1, std::memory_order_release);
    }
}

void WorkerPool::helper_loop()
{
    long seen = 0;
    for (;;) {
        if (!may_watch_ || !watch([&] { return generation_.load(std::memory_order_acquire) != seen; })) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_.load(std::memory_order_relaxed) != seen; });
        }
        Job *job;
        {
            // Joins the current run, if it is still going.
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            seen = generation_.load(std::memory_order_relaxed);
            job = job_;
            if (job == nullptr) continue;
            inside_++;
        }
        take_items(*job);
        std::lock_guard<std::mutex> lock(mutex_);
        if (--inside_ == 0) left_.notify_one();
    }
}

void WorkerPool::wake()
{
    if (helpers_.empty() || !may_watch_) return;
    {
        // A run without a job: helpers wake, find nothing and watch.
        std::lock_guard<std::mutex> lock(mutex_);
        generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
}

void WorkerPool::run(int count, Work work, void *context)
{
    if (count <= 0) return;
    if (helpers_.empty() || count == 1) {
        for (int i = 0; i < count; i++) work(context, i);
        return;
    }
    Job job;
    job.work = work;
    job.context = context;
    job.count = count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &job;
        generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    take_items(job);
    const auto finished = [&] { return job.done.load(std::memory_order_acquire) == count; };
    if (!(may_watch_ && watch(finished))) {
        // An item still running on a helper: the caller sleeps until the
        // helpers inside the run leave it.
        std::unique_lock<std::mutex> lock(mutex_);
        left_.wait(lock, [&] { return finished() || inside_ == 0; });
    }
    // Closed to late helpers; those inside have nothing left to take, but
    // may still be reading the job.
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = nullptr;
    left_.wait(lock, [&] { return inside_ == 0; });
}

}  // namespace mvcore
