#include "config/projecttruststore.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/filelock.h"
#include "base/jsonreader.h"
#include "base/jsonwriter.h"
#include "base/sha256.h"

#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

std::string digestOf(const Json& value) {
    // The JSON text keeps the parts apart however they are spelled.
    const auto digest = sha256(value.dump(-1, ' ', false, Json::error_handler_t::replace));
    return lowerHex(digest.data(), digest.size());
}

// Digests only the folder's path, and not as a project's commands or snippets could be written: the
// value of another folder's entry, or a project's, trusts nothing here.
std::string folderDigest(const std::string& folder) {
    return digestOf(Json::object({{"folder", folder}}));
}

// What a snippet inserts, or, when it only opens a link, that link's address.
std::string contentOf(const ManualSnippet& snippet) {
    return snippet.expand && !snippet.expand->empty() ? *snippet.expand : snippet.url.value_or("");
}

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

ProjectTrustStore::ProjectTrustStore(std::filesystem::path file)
    : file_(std::move(file)) {}

std::optional<ProjectTrustRequest>
ProjectTrustStore::request(const std::string& projectRoot, const std::vector<CustomProviderConfig>& providers,
                           const std::vector<ManualSnippet>& overridingSnippets,
                           const std::vector<ManualSnippet>& lineBreakSnippets,
                           const std::vector<ManualSnippet>& linkSnippets) {
    if (providers.empty() && overridingSnippets.empty() && lineBreakSnippets.empty() &&
        linkSnippets.empty()) {
        return std::nullopt;
    }
    ProjectTrustRequest request{.projectRoot = projectRoot};
    Json commands = Json::array();
    for (const auto& provider : providers) {
        request.commands.push_back(provider.command);
        commands.push_back(provider.command);
    }
    if (overridingSnippets.empty() && lineBreakSnippets.empty() && linkSnippets.empty()) {
        // The digest of a commands-only file is the one trust stores have always held.
        request.commandsDigest = digestOf(commands);
        return request;
    }
    // Each snippet's text counts once, whatever number of reasons it has to wait.
    Json snippets = Json::array();
    // A project file may hold tens of thousands of snippets: a set finds those counted already.
    const auto before = [](const ManualSnippet* left, const ManualSnippet* right) { return *left < *right; };
    std::set<const ManualSnippet*, decltype(before)> counted(before);
    const auto add = [&](const std::vector<ManualSnippet>& waiting, std::vector<std::string>& keys,
                         std::vector<std::string>& contents) {
        for (const auto& snippet : waiting) {
            keys.push_back(snippet.key);
            contents.push_back(contentOf(snippet));
            if (counted.insert(&snippet).second) {
                snippets.push_back(
                    Json::array({snippet.key, snippet.expand.value_or(""), snippet.url.value_or("")}));
            }
        }
    };
    add(overridingSnippets, request.overridingKeys, request.overridingContents);
    add(lineBreakSnippets, request.lineBreakKeys, request.lineBreakContents);
    add(linkSnippets, request.linkKeys, request.linkContents);
    request.commandsDigest = digestOf(Json::object({{"commands", commands}, {"snippets", snippets}}));
    return request;
}

bool ProjectTrustStore::isTrusted(const std::string& projectRoot, const std::string& commandsDigest) const {
    const Entries trusted = entries();
    const auto it = trusted.find(projectRoot);
    return it != trusted.end() && it->second == commandsDigest;
}

Expected<void, std::string> ProjectTrustStore::trust(const ProjectTrustRequest& request) {
    auto stored = update([&](Entries& entries) { entries[request.projectRoot] = request.commandsDigest; });
    if (stored) {
        diagnostic("Trusted the commands of project '" + request.projectRoot + "'");
    }
    return stored;
}

bool ProjectTrustStore::isFolderTrusted(const std::string& folder) const {
    return isTrusted(kFolderKeyPrefix + folder, folderDigest(folder));
}

Expected<void, std::string> ProjectTrustStore::trustFolder(const std::string& folder) {
    auto stored =
        update([&](Entries& entries) { entries[kFolderKeyPrefix + folder] = folderDigest(folder); });
    if (stored) {
        diagnostic("Trusted the folder '" + folder + "'");
    }
    return stored;
}

Expected<void, std::string> ProjectTrustStore::distrust(const std::string& folder) {
    auto removed = update([&](Entries& entries) {
        entries.erase(folder);
        entries.erase(kFolderKeyPrefix + folder);
    });
    if (removed) {
        diagnostic("Stopped trusting the folder '" + folder + "'");
    }
    return removed;
}

Expected<void, std::string> ProjectTrustStore::update(const std::function<void(Entries&)>& change) {
    if (auto made = makePrivateDirectories(file_.parent_path()); !made) {
        return makeUnexpected(made.error());
    }
    auto lockPath = file_;
    lockPath += ".lock";
    const auto fileLock = FileLock::acquire(lockPath);
    if (!fileLock) {
        return makeUnexpected(fileLock.error());
    }
    // Read again under the lock: what another writer stored since our last read is kept.
    auto current = read();
    if (!current) {
        return makeUnexpected(current.error());
    }
    Entries changed = *current;
    change(changed);
    if (changed != *current) {
        Json object = Json::object();
        for (const auto& [root, digest] : changed) {
            object[root] = digest;
        }
        const auto text = prettyJson(object);
        if (!text) {
            return makeUnexpected(text.error());
        }
        if (auto written = writeFileAtomically(file_, *text); !written) {
            return makeUnexpected(written.error());
        }
        // Trust files are written owner-only; a store others may write would trust nothing.
        ::chmod(file_.c_str(), S_IRUSR | S_IWUSR);
    }
    std::lock_guard lock(lock_);
    entries_ = std::move(changed);
    readFingerprint_ = fingerprint();
    return {};
}

Expected<ProjectTrustStore::Entries, std::string> ProjectTrustStore::read() const {
    struct stat status {};
    if (::lstat(file_.c_str(), &status) != 0) {
        return Entries{};
    }
    // Whoever can change the file could trust any project's commands in the user's name.
    if (S_ISLNK(status.st_mode)) {
        return makeUnexpected(file_.string() + ": a symbolic link is not trusted");
    }
    if (status.st_uid != ::geteuid()) {
        return makeUnexpected(file_.string() + ": the file belongs to another user");
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return makeUnexpected(file_.string() + ": others may write the file");
    }
    auto text = readTextFile(file_);
    if (!text) {
        return makeUnexpected(text.error());
    }
    auto json = parseJson(*text);
    if (!json || !json->is_object()) {
        return makeUnexpected(file_.string() + ": " + (json ? "expected an object" : json.error()));
    }
    Entries entries;
    for (auto it = json->begin(); it != json->end(); ++it) {
        if (!it.value().is_string()) {
            return makeUnexpected(file_.string() + ": the entry for '" + it.key() + "' is not a string");
        }
        entries[it.key()] = it.value().get<std::string>();
    }
    return entries;
}

std::optional<ProjectTrustStore::Fingerprint> ProjectTrustStore::fingerprint() const {
    struct stat status {};
    if (::lstat(file_.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return Fingerprint{status.st_dev, status.st_ino, status.st_size, nanoseconds(status.st_mtim),
                       nanoseconds(status.st_ctim)};
}

ProjectTrustStore::Entries ProjectTrustStore::entries() const {
    std::lock_guard lock(lock_);
    const auto current = fingerprint();
    if (!entries_ || current != readFingerprint_) {
        auto read = this->read();
        if (!read) {
            // Nothing counts as trusted until the file reads again.
            diagnostic("Trusted projects file could not be read: " + read.error());
        }
        entries_ = read ? std::move(*read) : Entries{};
        readFingerprint_ = current;
    }
    return *entries_;
}

} // namespace korvane
