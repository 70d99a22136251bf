#include "model/scopespec.h"

namespace korvane {
namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

const SnippetSource* ScopeSpec::asSource() const {
    const auto* source = std::get_if<Source>(&value_);
    return source ? &source->source : nullptr;
}

const std::vector<SnippetSource>* ScopeSpec::asMultiSource() const {
    const auto* multi = std::get_if<MultiSource>(&value_);
    return multi ? &multi->sources : nullptr;
}

const ScopeFilter* ScopeSpec::asFilter() const {
    const auto* filter = std::get_if<Filter>(&value_);
    return filter ? &filter->filter : nullptr;
}

std::size_t ScopeSpec::hash() const {
    std::size_t seed = 0;
    combine(seed, value_.index());
    if (const auto* source = asSource()) {
        combine(seed, source->hash());
    } else if (const auto* sources = asMultiSource()) {
        combine(seed, sources->size());
        for (const auto& element : *sources) {
            combine(seed, element.hash());
        }
    } else if (const auto* filter = asFilter()) {
        combine(seed, static_cast<std::size_t>(*filter));
    }
    return seed;
}

} // namespace korvane
