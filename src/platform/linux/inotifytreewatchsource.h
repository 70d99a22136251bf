#pragma once

#include "platform/treewatchsource.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

// The TreeWatchSource of Linux: each tree gets an inotify instance of its own, whose events wait in
// the kernel until its watch is asked; closing the instance drops its watches. Any thread.
class InotifyTreeWatchSource final : public TreeWatchSource {
public:
    // Reads the user's limit once, from /proc/sys/fs/inotify/max_user_watches (8192 when unreadable).
    InotifyTreeWatchSource();

    std::size_t userWatchLimit() const override { return userWatchLimit_; }
    std::unique_ptr<TreeWatch> arm(const std::string& root, std::span<const std::string_view> folders,
                                   std::span<const std::string_view> files) override;

private:
    class Watch;

    std::size_t userWatchLimit_ = 8192;
};

} // namespace korvane
