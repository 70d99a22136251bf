#pragma once

#include "config/customproviderconfig.h"
#include "model/scopespec.h"
#include "model/snippetsource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korvane {

// The group a scope is listed under.
enum class ScopeGroup { custom, topTier, git, other };

std::string_view toString(ScopeGroup group);
std::optional<ScopeGroup> scopeGroupFromString(std::string_view text);

// One scope: the tokens that name it (lower case, the first is canonical) and what it selects.
struct ScopeEntry {
    std::string id;
    std::vector<std::string> aliases;
    std::string title;
    std::string description;
    ScopeSpec spec;
    bool supportsCompactNoSeparator = false;
    ScopeGroup group = ScopeGroup::other;
    std::int64_t priority = 0;
    std::vector<SnippetSource> sourceHints;
    std::optional<std::string> customProviderID;
};

// Every scope of one configuration: the built-ins first, then the custom scopes in provider order.
struct ScopeManifest {
    std::vector<ScopeEntry> entries;
};

// The lookups query parsing needs, derived from a manifest.
struct ScopeResolverProjection {
    std::unordered_map<std::string, ScopeSpec> tokenToSpec;
    std::vector<std::string> canonicalTokens;
    std::unordered_set<std::string> compactTokens;
};

// The rows of the scope help, one per manifest entry.
struct ScopeHelpProjection {
    struct Row {
        std::vector<std::string> aliases;
        std::string description;
    };
    std::vector<Row> rows;
};

// The scope one custom provider contributes; `scopeAlias` is its scope, or its id when it has none.
struct CustomScopeDescriptor {
    std::string id;
    std::string scopeAlias;
    std::string label;
    std::optional<std::string> description;

    static CustomScopeDescriptor from(const CustomProviderConfig& provider);
};

// The table of all scopes for a configuration: thirteen built-ins plus one per custom provider whose
// token is still free. An immutable value, built on the main thread.
class ScopeRegistry {
public:
    explicit ScopeRegistry(const std::vector<CustomProviderConfig>& customProviders = {});

    const ScopeManifest& manifest() const { return manifest_; }
    const ScopeResolverProjection& projection() const { return projection_; }

    // The entries whose canonical token is one of `tokens`, in manifest order.
    std::vector<ScopeEntry> entries(const std::vector<std::string>& tokens) const;

    // The thirteen built-in entries in manifest order.
    static const std::vector<ScopeEntry>& builtInEntries();
    // The help rows of the built-in scopes, made once.
    static const ScopeHelpProjection& builtInHelpProjection();
    // Every alias of a built-in scope, lower-cased, made once.
    static const std::unordered_set<std::string>& builtInTokens();

private:
    ScopeManifest manifest_;
    ScopeResolverProjection projection_;
};

} // namespace korvane
