#include "gitguard/gitconfigkeyindex.h"

namespace korvane {
namespace {

bool standsForOneKey(const GitConfigKey& pattern) {
    return !GitConfigKey::isPlaceholder(pattern.section) &&
           !(pattern.subsection && GitConfigKey::isPlaceholder(*pattern.subsection)) &&
           !pattern.variable.ends_with('*') && !GitConfigKey::isPlaceholder(pattern.variable);
}

} // namespace

GitConfigKeyIndex::GitConfigKeyIndex(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)) {
    for (std::size_t position = 0; position < patterns_.size(); ++position) {
        const auto parts = GitConfigKey::parse(patterns_[position]);
        if (!parts) {
            continue;
        }
        std::string folded = parts->folded();
        if (standsForOneKey(*parts)) {
            exact_.emplace(std::move(folded), position);
        } else if (GitConfigKey::isPlaceholder(parts->section)) {
            anySection_.push_back({position, *parts});
        } else {
            folded.resize(parts->section.size());
            bySection_[folded].push_back({position, *parts});
        }
    }
}

std::optional<std::size_t> GitConfigKeyIndex::firstMatch(std::string_view key) const {
    const auto given = GitConfigKey::parse(key);
    if (!given) {
        return std::nullopt;
    }
    const std::string folded = given->folded();
    std::optional<std::size_t> first;
    if (const auto found = exact_.find(folded); found != exact_.end()) {
        first = found->second;
    }
    const auto earlier = [&](const std::vector<Pattern>& candidates) {
        for (const auto& candidate : candidates) {
            if (first && candidate.position > *first) {
                return;
            }
            if (GitConfigKey::matches(candidate.parts, *given)) {
                first = candidate.position;
                return;
            }
        }
    };
    if (const auto section = bySection_.find(std::string_view(folded).substr(0, given->section.size()));
        section != bySection_.end()) {
        earlier(section->second);
    }
    earlier(anySection_);
    return first;
}

} // namespace korvane
