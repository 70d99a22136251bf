#include "platform/linux/workerthread.h"

#include <pthread.h>

namespace korvane {

WorkerThread::WorkerThread(std::string name)
    : name_(std::move(name)) {
    if (name_.size() > 15) {
        name_.resize(15);
    }
    thread_ = std::thread([this] { run(); });
}

WorkerThread::~WorkerThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void WorkerThread::enqueue(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void WorkerThread::run() {
    pthread_setname_np(pthread_self(), name_.c_str());
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

} // namespace korvane
