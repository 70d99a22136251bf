#pragma once

#include "base/clock.h"
#include "model/snippet.h"
#include "registry/historyreader.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane::test {

// A usage history whose scores and dates the test sets directly; as it cannot tell when they change,
// it reports a change on every look.
class FakeHistory final : public HistoryReader {
public:
    double frecencyScore(const std::string& id) const override {
        auto it = scores.find(id);
        return it == scores.end() ? 0.0 : it->second;
    }
    std::optional<Clock::WallTime> lastUsedDate(const std::string& id) const override {
        auto it = dates.find(id);
        return it == dates.end() ? std::nullopt : std::optional(it->second);
    }
    std::uint64_t generation() const override { return ++generation_; }

    std::map<std::string, double> scores;
    std::map<std::string, Clock::WallTime> dates;

private:
    mutable std::uint64_t generation_ = 0;
};

// A snippet whose id is the label behind a source-like prefix unless one is given.
inline Snippet makeSnippet(const std::string& label, SnippetSource source = SnippetSource::manual(),
                           std::string id = {}) {
    Snippet snippet;
    snippet.id = id.empty() ? std::string(source.badgeLabel()) + ":" + label : std::move(id);
    snippet.label = label;
    snippet.expansion = label;
    snippet.source = std::move(source);
    return snippet;
}

template <class Results> std::vector<std::string> labelsOf(const Results& results) {
    std::vector<std::string> labels;
    for (const auto& result : results) {
        labels.push_back(result.snippet->label);
    }
    return labels;
}

} // namespace korvane::test
