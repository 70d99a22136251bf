#include "config/scoperegistry.h"

#include "base/unicode.h"

#include <algorithm>
#include <array>

namespace korvane {
namespace {

constexpr std::array<std::string_view, 4> kGroupNames{"custom", "topTier", "git", "other"};

ScopeEntry builtIn(std::string id, std::vector<std::string> aliases, std::string title,
                   std::string description, ScopeSpec scopeSpec, bool compact, ScopeGroup group,
                   std::int64_t priority, std::vector<SnippetSource> hints) {
    return ScopeEntry{.id = std::move(id),
                      .aliases = std::move(aliases),
                      .title = std::move(title),
                      .description = std::move(description),
                      .spec = std::move(scopeSpec),
                      .supportsCompactNoSeparator = compact,
                      .group = group,
                      .priority = priority,
                      .sourceHints = std::move(hints),
                      .customProviderID = std::nullopt};
}

bool aliasTaken(const std::vector<ScopeEntry>& entries, const std::string& alias) {
    return std::any_of(entries.begin(), entries.end(), [&](const ScopeEntry& entry) {
        return std::find(entry.aliases.begin(), entry.aliases.end(), alias) != entry.aliases.end();
    });
}

ScopeResolverProjection project(const ScopeManifest& manifest) {
    ScopeResolverProjection projection;
    for (const auto& entry : manifest.entries) {
        if (!entry.aliases.empty()) {
            projection.canonicalTokens.push_back(entry.aliases.front());
        }
        for (const auto& alias : entry.aliases) {
            projection.tokenToSpec.insert_or_assign(alias, entry.spec);
            if (entry.supportsCompactNoSeparator) {
                projection.compactTokens.insert(alias);
            }
        }
    }
    return projection;
}

} // namespace

std::string_view toString(ScopeGroup group) {
    return kGroupNames[static_cast<std::size_t>(group)];
}

std::optional<ScopeGroup> scopeGroupFromString(std::string_view text) {
    for (std::size_t i = 0; i < kGroupNames.size(); ++i) {
        if (kGroupNames[i] == text) {
            return static_cast<ScopeGroup>(i);
        }
    }
    return std::nullopt;
}

CustomScopeDescriptor CustomScopeDescriptor::from(const CustomProviderConfig& provider) {
    return {provider.id, provider.scope.value_or(provider.id), provider.label, provider.description};
}

const std::vector<ScopeEntry>& ScopeRegistry::builtInEntries() {
    using S = SnippetSource;
    using G = ScopeGroup;
    static const std::vector<ScopeEntry> entries{
        builtIn("app", {"app", "a"}, "App Snippets", "App-specific manual snippets",
                ScopeSpec::filter(ScopeFilter::appScoped), false, G::topTier, 10, {S::manual()}),
        builtIn("file", {"file", "f"}, "Project Files", "Fuzzy file path search",
                ScopeSpec::source(S::filePath()), true, G::topTier, 20, {S::filePath()}),
        builtIn("user", {"user", "u", "manual"}, "Manual Snippets", "User-defined global snippets",
                ScopeSpec::source(S::manual()), false, G::topTier, 30, {S::manual()}),
        builtIn("skill", {"skill", "s"}, "Claude Skills", "Claude skill files",
                ScopeSpec::source(S::claudeSkill()), true, G::topTier, 40, {S::claudeSkill()}),
        builtIn("git", {"git", "g"}, "Git Refs", "All git refs (branches, tags, remotes)",
                ScopeSpec::multiSource({S::gitRef(), S::gitRemote()}), true, G::git, 50,
                {S::gitRef(), S::gitRemote()}),
        builtIn("branch", {"branch", "b"}, "Git Branches", "Git branches only",
                ScopeSpec::source(S::gitRef()), false, G::git, 60, {S::gitRef()}),
        builtIn("tag", {"tag", "t"}, "Git Tags", "Git tags only", ScopeSpec::source(S::gitRef()), true,
                G::git, 70, {S::gitRef()}),
        builtIn("remote", {"remote", "r"}, "Git Remotes", "Git remotes only",
                ScopeSpec::source(S::gitRemote()), true, G::git, 80, {S::gitRemote()}),
        builtIn("doc", {"doc", "d", "ai"}, "AI Docs", "AI project documentation",
                ScopeSpec::source(S::aiDoc()), false, G::other, 90, {S::aiDoc()}),
        builtIn("env", {"env", "e"}, "Environment Variables", "Environment variables",
                ScopeSpec::source(S::envVar()), false, G::other, 100, {S::envVar()}),
        builtIn("npm", {"npm", "n"}, "npm Scripts", "npm package.json scripts",
                ScopeSpec::source(S::npmScript()), true, G::other, 110, {S::npmScript()}),
        builtIn("make", {"make", "m"}, "Makefile Targets", "Makefile targets",
                ScopeSpec::source(S::makeTarget()), false, G::other, 120, {S::makeTarget()}),
        builtIn("url", {"url", "link", "l"}, "URL Snippets", "URL snippets",
                ScopeSpec::filter(ScopeFilter::urlOnly), false, G::other, 130, {S::manual(), S::gitRemote()}),
    };
    return entries;
}

const ScopeHelpProjection& ScopeRegistry::builtInHelpProjection() {
    static const ScopeHelpProjection help = [] {
        ScopeHelpProjection result;
        for (const auto& entry : builtInEntries()) {
            result.rows.push_back({entry.aliases, entry.description});
        }
        return result;
    }();
    return help;
}

const std::unordered_set<std::string>& ScopeRegistry::builtInTokens() {
    static const std::unordered_set<std::string> tokens = [] {
        std::unordered_set<std::string> result;
        for (const auto& entry : builtInEntries()) {
            for (const auto& alias : entry.aliases) {
                result.insert(lowercased(alias));
            }
        }
        return result;
    }();
    return tokens;
}

ScopeRegistry::ScopeRegistry(const std::vector<CustomProviderConfig>& customProviders) {
    manifest_.entries = builtInEntries();
    std::int64_t next = 1;
    for (const auto& entry : manifest_.entries) {
        next = std::max(next, entry.priority + 1);
    }
    for (const auto& provider : customProviders) {
        const auto descriptor = CustomScopeDescriptor::from(provider);
        std::string alias = lowercased(descriptor.scopeAlias);
        if (aliasTaken(manifest_.entries, alias)) {
            continue;
        }
        const auto source = SnippetSource::custom(descriptor.id);
        manifest_.entries.push_back(
            ScopeEntry{.id = descriptor.id,
                       .aliases = {std::move(alias)},
                       .title = descriptor.label,
                       .description = descriptor.description.value_or("Custom provider"),
                       .spec = ScopeSpec::source(source),
                       .supportsCompactNoSeparator = false,
                       .group = ScopeGroup::custom,
                       .priority = next++,
                       .sourceHints = {source},
                       .customProviderID = descriptor.id});
    }
    projection_ = project(manifest_);
}

std::vector<ScopeEntry> ScopeRegistry::entries(const std::vector<std::string>& tokens) const {
    std::vector<ScopeEntry> result;
    for (const auto& entry : manifest_.entries) {
        if (!entry.aliases.empty() &&
            std::find(tokens.begin(), tokens.end(), entry.aliases.front()) != tokens.end()) {
            result.push_back(entry);
        }
    }
    return result;
}

} // namespace korvane
