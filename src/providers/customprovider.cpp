#include "providers/customprovider.h"

#include "base/diagnostics.h"
#include "base/sha256.h"
#include "config/urireference.h"
#include "providers/jsonprovideroutput.h"
#include "providers/providertext.h"

#include <unordered_map>

namespace korvane {
namespace {

constexpr std::size_t kBadgeLength = 4;
constexpr std::size_t kIdDigestBytes = 8;
constexpr std::size_t kTsvFields = 4;

// The fields of one TSV line: cut at tabs, empty fields dropped, and everything after the tab that
// ends the third field kept whole as the fourth.
std::vector<std::string_view> tsvFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\t') {
            continue;
        }
        if (i > start) {
            fields.push_back(line.substr(start, i - start));
        }
        start = i + 1;
        if (fields.size() == kTsvFields - 1) {
            break;
        }
    }
    if (start < line.size()) {
        fields.push_back(line.substr(start));
    }
    return fields;
}

} // namespace

CustomProvider::CustomProvider(CustomProviderConfig config, std::shared_ptr<ShellCommandRunner> runner,
                               CommandTrust trust, const Clock& clock)
    : config_(std::move(config))
    , runner_(std::move(runner))
    , trust_(std::move(trust))
    , clock_(clock)
    , badge_(config_.badge ? *config_.badge : uppercased(graphemePrefix(config_.label, kBadgeLength))) {}

ProviderFactories::Provider CustomProvider::make(const CustomProviderConfig& config, const CommandTrust& trust,
                                                 std::shared_ptr<ShellCommandRunner> runner) {
    return std::make_shared<CustomProvider>(config, std::move(runner), trust);
}

std::vector<Snippet> CustomProvider::snippets(const std::string& projectRoot) {
    // Asked first: what a project's command printed is not served once its trust was taken back.
    if (isLive() || !mayRun()) {
        return {};
    }
    {
        std::lock_guard guard(lock_);
        if (auto it = cache_.find(projectRoot); it != cache_.end()) {
            const double age = std::chrono::duration<double>(clock_.monotonicNow() - it->second.date).count();
            if (age < static_cast<double>(config_.ttl)) {
                return it->second.snippets;
            }
        }
    }
    auto result = runner_->run(config_.command, projectRoot, kScanTimeout, folderOf(projectRoot));
    if (result.status == 0) {
        auto snippets = parseOutput(result.output);
        std::lock_guard guard(lock_);
        cache_[projectRoot] = CacheEntry{snippets, clock_.monotonicNow()};
        return snippets;
    }
    // A command that waits for its folder's trust never started: the runner's line said why.
    log(result.waitingReason ? "' not run: it waits until the folder '" + projectRoot + "' is trusted"
                             : "' exited with status " + std::to_string(result.status));
    std::lock_guard guard(lock_);
    if (auto it = cache_.find(projectRoot); it != cache_.end()) {
        return it->second.snippets;
    }
    return {};
}

std::vector<Snippet> CustomProvider::liveSnippets(const std::string& projectRoot, const std::string& query,
                                                  const std::string& bundleID, const std::string& appName,
                                                  bool caseSensitive,
                                                  std::optional<CancellationToken> cancellation) {
    if (!isLive() || !mayRun()) {
        return {};
    }
    auto result = runner_->runLive(config_.command, projectRoot, query, bundleID, appName, caseSensitive,
                                   kLiveTimeout, folderOf(projectRoot), std::move(cancellation));
    if (result.status != 0) {
        return {};
    }
    return parseOutput(result.output);
}

bool CustomProvider::mayRun() {
    if (trust_.allowsRun()) {
        return true;
    }
    if (!reportedUntrusted_.exchange(true)) {
        log(trust_.untrustedProjectRoot ? "' not run: the commands of project '" +
                                              *trust_.untrustedProjectRoot + "' are not trusted yet"
                                        : std::string("' not run: the trust of its project was taken back"));
    }
    return false;
}

ShellCommandRunner::Folder CustomProvider::folderOf(const std::string& projectRoot) const {
    return trust_.isTrustedFolder(projectRoot) ? ShellCommandRunner::Folder::trusted
                                               : ShellCommandRunner::Folder::untrusted;
}

std::vector<Snippet> CustomProvider::parseOutput(std::string_view output) const {
    const std::string_view trimmed = trimmedWhitespaceAndNewlines(output);
    if (trimmed.empty()) {
        return {};
    }
    auto snippets = trimmed.front() == '{' || trimmed.front() == '[' ? parseJSON(trimmed) : parseTSV(output);
    // A live answer goes to the popup without passing the registry, which refuses such names too.
    std::erase_if(snippets, [](const Snippet& snippet) { return !snippet.hasPlainName(); });
    return resolveDuplicateKeys(std::move(snippets));
}

std::vector<Snippet> CustomProvider::parseJSON(std::string_view trimmedOutput) const {
    std::optional<std::vector<JSONProviderItem>> items;
    if (auto json = parseJson(trimmedOutput)) {
        JsonDecodeStatus status(false);
        if (json->is_array()) {
            std::vector<JSONProviderItem> decoded;
            decoded.reserve(json->size());
            for (const auto& element : *json) {
                decoded.push_back(JSONProviderItem::decode(element, "items", status));
            }
            if (!status.failed()) {
                items = std::move(decoded);
            }
        } else {
            auto object = JSONProviderOutput::decode(*json, "output", status);
            if (!status.failed()) {
                items = std::move(object.items);
            }
        }
    }
    if (!items) {
        log("': failed to parse JSON output");
        return {};
    }
    std::vector<Snippet> snippets;
    snippets.reserve(items->size());
    for (const auto& item : *items) {
        if (auto snippet = makeSnippet(item)) {
            snippets.push_back(std::move(*snippet));
        }
    }
    return snippets;
}

std::vector<Snippet> CustomProvider::parseTSV(std::string_view output) const {
    std::vector<Snippet> snippets;
    for (const std::string_view rawLine : providerLines(output)) {
        const std::string_view line = trimmedBlanks(rawLine);
        if (line.empty()) {
            continue;
        }
        const auto fields = tsvFields(line);
        Snippet snippet = makeBaseSnippet(std::string(trimmedWhitespaceAndNewlines(fields[0])));
        switch (fields.size()) {
        case 1:
            snippet.expansion = std::string(fields[0]);
            break;
        case 2:
            snippet.expansion = std::string(fields[1]);
            break;
        case 3:
            snippet.expansion = std::string(fields[1]);
            snippet.description = std::string(fields[2]);
            break;
        default:
            if (fields[1] != fields[0]) {
                snippet.displayName = std::string(fields[1]);
            }
            snippet.expansion = std::string(fields[2]);
            snippet.description = std::string(fields[3]);
            break;
        }
        snippets.push_back(std::move(snippet));
    }
    return snippets;
}

std::optional<Snippet> CustomProvider::makeSnippet(const JSONProviderItem& item) const {
    const std::string_view key = item.key ? trimmedWhitespaceAndNewlines(*item.key) : std::string_view();
    const std::string_view label = item.label ? trimmedWhitespaceAndNewlines(*item.label) : std::string_view();
    const std::string_view effectiveKey = !key.empty() ? key : label;
    if (effectiveKey.empty()) {
        log("': item missing both key and label - skipping");
        return std::nullopt;
    }
    const bool hasExpansion = item.expansion && !item.expansion->empty();
    const bool hasUrl = item.url && !item.url->empty();
    std::optional<std::string> url;
    if (hasExpansion && hasUrl) {
        log("': item '" + std::string(effectiveKey) + "' has both expansion and url - using expansion");
    } else if (hasUrl) {
        if (!isUriWithScheme(*item.url)) {
            log("': item '" + std::string(effectiveKey) + "' has invalid URL - skipping");
            return std::nullopt;
        }
        url = item.url;
    }

    Snippet snippet = makeBaseSnippet(std::string(effectiveKey));
    if (item.expansion) {
        snippet.expansion = *item.expansion;
    } else if (url) {
        snippet.expansion.clear();
    } else {
        snippet.expansion = std::string(effectiveKey);
    }
    snippet.description = item.description;
    if (!label.empty() && label != effectiveKey) {
        snippet.displayName = std::string(label);
    }
    snippet.url = std::move(url);
    return snippet;
}

std::vector<Snippet> CustomProvider::resolveDuplicateKeys(std::vector<Snippet> snippets) const {
    std::vector<Snippet> result;
    result.reserve(snippets.size());
    std::unordered_map<std::string, std::size_t> positions;
    for (auto& snippet : snippets) {
        if (auto it = positions.find(snippet.label); it != positions.end()) {
            log("': duplicate key '" + snippet.label + "' - last wins");
            result[it->second] = std::move(snippet);
            continue;
        }
        positions.emplace(snippet.label, result.size());
        result.push_back(std::move(snippet));
    }
    return result;
}

std::string CustomProvider::snippetID(std::string_view key) const {
    std::string material = config_.id;
    material += '|';
    material += key;
    const auto digest = sha256(material);
    return "custom:" + config_.id + ":" + lowerHex(digest.data(), kIdDigestBytes);
}

std::string CustomProvider::badge() const {
    return badge_;
}

Snippet CustomProvider::makeBaseSnippet(const std::string& key) const {
    Snippet snippet;
    snippet.id = snippetID(key);
    snippet.label = key;
    snippet.expansion = key;
    snippet.source = SnippetSource::custom(config_.id);
    snippet.badgeText = badge_;
    return snippet;
}

void CustomProvider::log(const std::string& message) const {
    diagnostic("Custom provider '" + config_.id + message);
}

} // namespace korvane
