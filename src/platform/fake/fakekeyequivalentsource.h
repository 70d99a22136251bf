#pragma once

#include "platform/keyequivalentsource.h"

#include <atomic>
#include <mutex>

namespace korvane {

// Key equivalents per domain that tests set; it counts the reads. Any thread.
class FakeKeyEquivalentSource final : public KeyEquivalentSource {
public:
    std::optional<std::map<std::string, std::string>> keyEquivalents(const std::string& domain) const override {
        ++reads;
        std::lock_guard lock(mutex_);
        auto found = domains_.find(domain);
        return found == domains_.end() ? std::nullopt : std::optional(found->second);
    }

    void set(const std::string& domain, std::map<std::string, std::string> equivalents) {
        std::lock_guard lock(mutex_);
        domains_[domain] = std::move(equivalents);
    }

    mutable std::atomic<int> reads{0};

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::map<std::string, std::string>> domains_;
};

} // namespace korvane
