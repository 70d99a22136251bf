#pragma once

#include <atomic>
#include <memory>

namespace korvane {

// A shared flag that asks a scheduled task or background job to stop. Copies share the flag;
// any thread may cancel or read it.
class CancellationToken {
public:
    CancellationToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const { flag_->store(true, std::memory_order_release); }
    bool isCancelled() const { return flag_->load(std::memory_order_acquire); }

    bool operator==(const CancellationToken& other) const { return flag_ == other.flag_; }

private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

} // namespace korvane
