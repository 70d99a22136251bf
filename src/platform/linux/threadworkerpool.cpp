#include "platform/linux/threadworkerpool.h"

#include <pthread.h>

namespace korvane {

ThreadWorkerPool::ThreadWorkerPool(std::string name, std::size_t maxThreads)
    : name_(name.substr(0, 15))
    , maxThreads_(maxThreads > 0 ? maxThreads : 1) {}

ThreadWorkerPool::~ThreadWorkerPool() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
        threads.swap(threads_);
    }
    wake_.notify_all();
    for (auto& thread : threads) {
        thread.join();
    }
}

void ThreadWorkerPool::run(Job job) {
    std::lock_guard lock(mutex_);
    if (stopping_) {
        return;
    }
    jobs_.push_back(std::move(job));
    // A new thread only when every thread is busy, so that a job that blocks never delays another.
    if (idle_ < jobs_.size() && threads_.size() < maxThreads_) {
        threads_.emplace_back([this] { work(); });
        pthread_setname_np(threads_.back().native_handle(), name_.c_str());
    }
    wake_.notify_one();
}

std::size_t ThreadWorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void ThreadWorkerPool::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        ++idle_;
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (stopping_) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

} // namespace korvane
