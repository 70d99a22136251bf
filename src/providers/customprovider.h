#pragma once

#include "base/clock.h"
#include "config/customproviderconfig.h"
#include "config/providerfactories.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"
#include "providers/jsonprovideritem.h"
#include "providers/shellcommandrunner.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Turns one user-defined provider command into snippets: for project scans (result kept per root
// for `ttl` seconds, the last good result served when a run fails) or, in "live" mode, for each
// query scoped to it. Scans and live queries run on background jobs, several at once; the cache is
// guarded by its own lock, never held while the command runs.
class CustomProvider final : public SnippetProvider {
public:
    static constexpr double kScanTimeout = 10.0;
    static constexpr double kLiveTimeout = 3.0;

    CustomProvider(CustomProviderConfig config, std::shared_ptr<ShellCommandRunner> runner,
                   CommandTrust trust = {}, const Clock& clock = SystemClock::shared());

    // The factory the application installs in the configuration manager.
    static ProviderFactories::Provider make(const CustomProviderConfig& config, const CommandTrust& trust,
                                            std::shared_ptr<ShellCommandRunner> runner);

    const CustomProviderConfig& config() const { return config_; }
    const CommandTrust& trust() const { return trust_; }

    std::vector<Snippet> snippets(const std::string& projectRoot) override;
    // The items for one query of a live provider; empty for any other mode and on any failure.
    // Cancelling `cancellation` terminates the command, whose query has been superseded.
    std::vector<Snippet> liveSnippets(const std::string& projectRoot, const std::string& query,
                                      const std::string& bundleID, const std::string& appName,
                                      bool caseSensitive, std::optional<CancellationToken> cancellation = {});

    // Output parsing keeps no state and may run on any thread.
    std::vector<Snippet> parseOutput(std::string_view output) const;
    std::vector<Snippet> parseJSON(std::string_view trimmedOutput) const;
    std::vector<Snippet> parseTSV(std::string_view output) const;
    std::optional<Snippet> makeSnippet(const JSONProviderItem& item) const;
    std::vector<Snippet> resolveDuplicateKeys(std::vector<Snippet> snippets) const;
    // "custom:<id>:" and 16 hex digits of SHA-256("<id>|<key>").
    std::string snippetID(std::string_view key) const;
    // The configured badge, else the first four characters of the label, upper-cased.
    std::string badge() const;

private:
    struct CacheEntry {
        std::vector<Snippet> snippets;
        Clock::MonotonicTime date;
    };

    bool isLive() const { return config_.mode == "live"; }
    // False, after saying once why, when the command waits for the user's trust.
    bool mayRun();
    ShellCommandRunner::Folder folderOf(const std::string& projectRoot) const;
    Snippet makeBaseSnippet(const std::string& key) const;
    void log(const std::string& message) const;

    const CustomProviderConfig config_;
    const std::shared_ptr<ShellCommandRunner> runner_;
    const CommandTrust trust_;
    const Clock& clock_;
    const std::string badge_;
    std::map<std::string, CacheEntry> cache_;
    std::mutex lock_;
    std::atomic<bool> reportedUntrusted_{false};
};

} // namespace korvane
