#pragma once

#include "model/snippetsource.h"

#include <cstddef>
#include <functional>
#include <variant>
#include <vector>

namespace korvane {

// A scope that is not a plain source: snippets defined for an application, or snippets with a URL.
enum class ScopeFilter { appScoped, urlOnly };

// What one scope token selects: one source, an ordered list of sources (the first is the one shown
// in the chip), or a filter. Equal when the case and the payload are equal; list order counts.
class ScopeSpec {
public:
    struct Source {
        SnippetSource source;
        bool operator==(const Source&) const = default;
    };
    struct MultiSource {
        std::vector<SnippetSource> sources;
        bool operator==(const MultiSource&) const = default;
    };
    struct Filter {
        ScopeFilter filter;
        bool operator==(const Filter&) const = default;
    };
    using Value = std::variant<Source, MultiSource, Filter>;

    static ScopeSpec source(SnippetSource source) { return ScopeSpec(Source{std::move(source)}); }
    static ScopeSpec multiSource(std::vector<SnippetSource> sources) {
        return ScopeSpec(MultiSource{std::move(sources)});
    }
    static ScopeSpec filter(ScopeFilter filter) { return ScopeSpec(Filter{filter}); }

    const Value& value() const { return value_; }
    // The payload of each case, or nullptr when the value holds another case.
    const SnippetSource* asSource() const;
    const std::vector<SnippetSource>* asMultiSource() const;
    const ScopeFilter* asFilter() const;

    bool operator==(const ScopeSpec&) const = default;
    std::size_t hash() const;

private:
    explicit ScopeSpec(Value value)
        : value_(std::move(value)) {}

    Value value_;
};

} // namespace korvane

template <> struct std::hash<korvane::ScopeSpec> {
    std::size_t operator()(const korvane::ScopeSpec& value) const noexcept { return value.hash(); }
};
