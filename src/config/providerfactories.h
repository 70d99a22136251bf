#pragma once

#include "config/customproviderconfig.h"
#include "config/manualsnippet.h"
#include "model/livescopeprovider.h"
#include "model/snippetprovider.h"
#include "model/snippetsource.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// How a project's files are scanned: the extractors to offer each file to, named by the source they
// stand for (skills, then project documents), the directory names never entered, and the deepest level.
struct FileScannerOptions {
    std::vector<SnippetSource> extractors;
    std::set<std::string> ignorePatterns;
    std::int64_t maxDepth = 0;

    bool operator==(const FileScannerOptions&) const = default;
};

// The directory names a project scan skips besides the configured ignore patterns; the file scanner
// and the file path index use the same set.
const std::set<std::string>& skippedDirectories();

// The directory names that no walk of a project enters, whatever its ignore patterns say: private
// folders of the user and the repository's own data. Shared by the file scanner and the file index.
const std::set<std::string>& neverWalkedDirectories();

// Whether a custom provider's command may run. Commands of the global file always may; those of a
// project's own file only once the user has trusted that file's commands for that root, since a
// downloaded repository must not run programs just because its folder was opened.
struct CommandTrust {
    // The project whose untrusted file defines the command; unset when the command may run.
    std::optional<std::string> untrustedProjectRoot;
    // For a trusted project's command: asked before each run (on the run's thread), false once the
    // user took the trust back. Empty for the global file's commands.
    std::function<bool()> stillTrusted;
    // Whether a folder the command starts in is one the user trusted, itself or as the root of a trusted
    // project, asked before each run (on the run's thread). In any other folder, git started by the
    // command runs with the repository's own programs switched off. Empty: no folder is trusted.
    std::function<bool(const std::string& folder)> trustsFolder;

    bool allowsRun() const { return !untrustedProjectRoot.has_value() && (!stillTrusted || stillTrusted()); }
    bool isTrustedFolder(const std::string& folder) const { return trustsFolder && trustsFolder(folder); }
    bool operator==(const CommandTrust& other) const {
        return untrustedProjectRoot == other.untrustedProjectRoot &&
               static_cast<bool>(stillTrusted) == static_cast<bool>(other.stillTrusted) &&
               static_cast<bool>(trustsFolder) == static_cast<bool>(other.trustsFolder);
    }
};

// Makes the providers of a project scan. The providers live in libraries that build on this one, so
// the application installs these factories and the configuration library never links against them.
// An empty factory means that provider is not available, and it is left out. Main thread.
struct ProviderFactories {
    using Provider = std::shared_ptr<SnippetProvider>;

    std::function<Provider(const std::vector<ManualSnippet>& manualSnippets)> manualSnippets;
    std::function<Provider(const FileScannerOptions& options)> fileScanner;
    // The one process-wide provider of the user's own skills.
    std::function<Provider()> globalSkills;
    std::function<Provider(std::int64_t maxBranchAgeDays)> gitRefs;
    std::function<Provider()> gitRemotes;
    std::function<Provider()> npmScripts;
    std::function<Provider()> makeTargets;
    // A custom provider over one configuration, with its own empty result cache; it runs its command
    // only when `trust` allows it.
    std::function<Provider(const CustomProviderConfig& config, const CommandTrust& trust)> custom;
    // The one process-wide source of the project's file paths, asked per keystroke of its scope.
    std::function<std::shared_ptr<LiveScopeProvider>()> filePaths;
};

// What a project scan runs, in order, and the custom providers queried as the user types, by id.
struct ProviderSet {
    std::vector<std::shared_ptr<SnippetProvider>> providers;
    std::map<std::string, std::shared_ptr<SnippetProvider>> customLiveProviders;
    // The built-in live scopes by their source (the file paths).
    std::unordered_map<SnippetSource, std::shared_ptr<LiveScopeProvider>> liveScopeProviders;
};

} // namespace korvane
