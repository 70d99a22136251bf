#pragma once

#include "base/expected.h"
#include "config/customproviderconfig.h"
#include "config/manualsnippet.h"

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace korvane {

// A project whose own file holds what only the user's trust unlocks: provider commands, snippets that
// would replace a key the user already has, snippets whose text holds a line break and links other
// than web and mail ones. What the confirmation shows and what trusting stores.
struct ProjectTrustRequest {
    std::string projectRoot;
    // SHA-256 of the commands and the snippets waiting for trust as they stand, in lower-case
    // hexadecimal.
    std::string commandsDigest;
    std::vector<std::string> commands;
    // The keys of the project's snippets that replace a built-in, global or application snippet.
    std::vector<std::string> overridingKeys;
    // The keys of the project's snippets whose text holds a line break.
    std::vector<std::string> lineBreakKeys;
    // The keys of the project's snippets that open a link other than an http, https or mailto one.
    std::vector<std::string> linkKeys;
    // What each snippet of the three lists above inserts or opens, in the same order: its text, or its
    // link's address.
    std::vector<std::string> overridingContents;
    std::vector<std::string> lineBreakContents;
    std::vector<std::string> linkContents;

    bool operator==(const ProjectTrustRequest&) const = default;
};

// Remembers what the user has trusted: for each project root, the digest of what its ".korvane.json"
// held when it was trusted, so that any change needs trust again; and the folders the user trusted
// themselves, each under its own key, whatever project file they hold. Kept in "trusted-projects.json"
// in the configuration directory and written atomically, each change under a lock file shared with other
// writers that use this class. A file that is a symbolic link, belongs to someone else or that others may
// write trusts nothing, and a file changed on disk is read again, so that an entry removed by hand stops
// trusting at once. Any thread (one lock around the cached entries).
class ProjectTrustStore {
public:
    static constexpr const char* kFileName = "trusted-projects.json";
    // A trusted folder's key is this and its path. No project root begins so: a project's entry keeps
    // its meaning beside it, and a store reader that knows no folder entries trusts nothing by them.
    static constexpr const char* kFolderKeyPrefix = "folder:";

    explicit ProjectTrustStore(std::filesystem::path file);

    // The request for a project's providers, the snippets that replace existing keys, those whose
    // text holds a line break and those that open other links; none when there is none of them.
    static std::optional<ProjectTrustRequest>
    request(const std::string& projectRoot, const std::vector<CustomProviderConfig>& providers,
            const std::vector<ManualSnippet>& overridingSnippets = {},
            const std::vector<ManualSnippet>& lineBreakSnippets = {},
            const std::vector<ManualSnippet>& linkSnippets = {});

    bool isTrusted(const std::string& projectRoot, const std::string& commandsDigest) const;
    // Stores the trust, replacing what the root had before. A file that cannot be read is never
    // replaced, so trusting fails until the user mends or removes it.
    Expected<void, std::string> trust(const ProjectTrustRequest& request);

    // Whether the user trusted `folder` itself. That trust covers the folder's path only: no project
    // file in it, which is trusted on its own.
    bool isFolderTrusted(const std::string& folder) const;
    Expected<void, std::string> trustFolder(const std::string& folder);
    // Takes back the trust of `folder`: its own entry and that of the project rooted there, as removing
    // both by hand does. Every other entry is kept; a file that cannot be read is never replaced.
    Expected<void, std::string> distrust(const std::string& folder);

    const std::filesystem::path& file() const { return file_; }

private:
    using Entries = std::map<std::string, std::string>;
    // Device, inode, size, modification and change time: a different tuple means the file changed.
    using Fingerprint = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::int64_t>;

    // Applies `change` to the entries as the file holds them now and writes the result when it differs,
    // under the lock file, so that an entry another writer stored meanwhile is kept; nothing is written
    // when the file cannot be read.
    Expected<void, std::string> update(const std::function<void(Entries&)>& change);
    Expected<Entries, std::string> read() const;
    Entries entries() const;
    std::optional<Fingerprint> fingerprint() const;

    std::filesystem::path file_;
    mutable std::mutex lock_;
    mutable std::optional<Entries> entries_;
    mutable std::optional<Fingerprint> readFingerprint_;
};

} // namespace korvane
