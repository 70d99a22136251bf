#pragma once

#include "platform/treewatchsource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace korvane {

// A TreeWatchSource for tests: arms a watch over any tree while armable, and its watches see nothing
// until the test says that something changed. Any thread.
class FakeTreeWatchSource final : public TreeWatchSource {
public:
    std::size_t userWatchLimit() const override { return 8192; }

    std::unique_ptr<TreeWatch> arm(const std::string& root, std::span<const std::string_view>,
                                   std::span<const std::string_view>) override {
        if (onArm) {
            onArm(root);
        }
        return armable ? std::make_unique<Watch>(changes_) : nullptr;
    }

    // Every watch armed so far has seen a change.
    void change() { ++*changes_; }

    std::atomic<bool> armable = true;
    // Told on the arming thread as a watch is asked for, armed or not.
    std::function<void(const std::string& root)> onArm;

private:
    class Watch final : public TreeWatch {
    public:
        explicit Watch(std::shared_ptr<std::atomic<std::uint64_t>> changes)
            : changes_(std::move(changes))
            , armedAt_(changes_->load()) {}
        bool changed() override { return changes_->load() != armedAt_; }

    private:
        std::shared_ptr<std::atomic<std::uint64_t>> changes_;
        std::uint64_t armedAt_;
    };

    std::shared_ptr<std::atomic<std::uint64_t>> changes_ = std::make_shared<std::atomic<std::uint64_t>>(0);
};

} // namespace korvane
