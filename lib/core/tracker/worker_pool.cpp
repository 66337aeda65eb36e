/* worker_pool.cpp - helpers that sleep between frames and share the items
   of a run by taking the next one left. */
#include "worker_pool.h"

#include <system_error>

namespace mvcore {

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

void WorkerPool::take_items()
{
    for (int i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) work_(context_, i);
}

void WorkerPool::helper_loop()
{
    long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
        }
        take_items();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (--busy_ == 0) finished_.notify_one();
        }
    }
}

void WorkerPool::run(int count, Work work, void *context)
{
    if (count <= 0) return;
    if (helpers_.empty() || count == 1) {
        for (int i = 0; i < count; i++) work(context, i);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work_ = work;
        context_ = context;
        count_ = count;
        next_ = 0;
        busy_ = (int)helpers_.size();
        generation_++;
    }
    wake_.notify_all();
    take_items();
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return busy_ == 0; });
}

}  // namespace mvcore
