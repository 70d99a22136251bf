#pragma once

#include "base/clock.h"
#include "registry/snippetentry.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

using FrecencyScoreFunction = std::function<double(const std::string& id)>;
using LastUsedDateFunction = std::function<std::optional<Clock::WallTime>(const std::string& id)>;

// The order of items in browser mode and of an empty query's results: snippets used within the
// recent window first, then higher frecency, then labels in localized case-insensitive order. One
// instant is fixed for the whole sort. Main thread.
class SectionOrder {
public:
    static constexpr double recentWindowSeconds = 300.0;

    // Either function may be empty: no score is 0, no date is never used.
    SectionOrder(FrecencyScoreFunction frecencyScore, LastUsedDateFunction lastUsedDate, Clock::WallTime now);

    // Sorts `entries` stably: entries equal under all three keys keep their order.
    void sort(std::vector<SnippetEntryPtr>& entries) const;

private:
    bool isRecent(const std::string& id) const;

    FrecencyScoreFunction frecencyScore_;
    LastUsedDateFunction lastUsedDate_;
    Clock::WallTime now_;
};

} // namespace korvane
