#include "gitguard/gitlistedkeys.h"

#include "gitguard/gitconfigkey.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace korvane {
namespace {

// Far more than the list of any git (some 40 KB).
constexpr std::size_t listLimit = 1024 * 1024;
// More gits than anyone has on the search paths of their commands.
constexpr std::size_t cachedGits = 8;

// The file a git runs from, as the system tells it apart from any other and from its own earlier
// contents.
struct GitFile {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;

    bool operator==(const GitFile&) const = default;
};

std::optional<GitFile> gitFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return GitFile{path, status.st_dev, status.st_ino, status.st_size,
                   status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec};
}

// The lists of the gits asked so far: a list is compiled into its git, and asking again would cost a
// process on every run of a command in each folder that holds keys tools wrote.
class ListCache {
public:
    std::optional<GitListedKeys> find(const GitFile& file) {
        std::lock_guard guard(lock_);
        const auto found = std::find_if(lists_.begin(), lists_.end(),
                                        [&](const auto& cached) { return cached.first == file; });
        return found == lists_.end() ? std::nullopt : std::optional<GitListedKeys>(found->second);
    }

    void keep(GitFile file, const GitListedKeys& listed) {
        std::lock_guard guard(lock_);
        if (lists_.size() >= cachedGits) {
            lists_.erase(lists_.begin());
        }
        lists_.emplace_back(std::move(file), listed);
    }

private:
    std::mutex lock_;
    std::vector<std::pair<GitFile, GitListedKeys>> lists_;
};

ListCache& listCache() {
    static ListCache cache;
    return cache;
}

} // namespace

GitListedKeys GitListedKeys::parse(std::string_view output) {
    std::vector<std::string> keys;
    while (!output.empty()) {
        const std::size_t end = std::min(output.find('\n'), output.size());
        const std::string_view line = output.substr(0, end);
        output.remove_prefix(std::min(end + 1, output.size()));
        // The lines around the keys are sentences.
        if (line.find(' ') == std::string_view::npos && GitConfigKey::parse(line)) {
            keys.emplace_back(line);
        }
    }
    GitListedKeys listed;
    listed.keys_ = std::make_shared<GitConfigKeyIndex>(std::move(keys));
    return listed;
}

Expected<GitListedKeys, std::string> GitListedKeys::read(ProcessRunner& runner, const ProcessRequest& base) {
    const auto file = gitFile(base.executable);
    if (file) {
        if (auto cached = listCache().find(*file)) {
            return std::move(*cached);
        }
    }
    ProcessRequest request = base;
    request.arguments = {"help", "--config"};
    // Outside any repository, whose configuration the list does not need.
    request.workingDirectory = std::string("/");
    request.outputLimit = listLimit;
    const auto outcome = runner.run(request);
    if (!outcome || !outcome->succeeded()) {
        return makeUnexpected(std::string("git does not list the keys it reads (git help --config)"));
    }
    GitListedKeys listed = parse(outcome->output);
    if (listed.keys().empty()) {
        return makeUnexpected(std::string("git lists no key it reads (git help --config)"));
    }
    if (file && file == gitFile(base.executable)) {
        listCache().keep(*file, listed);
    }
    return listed;
}

bool GitListedKeys::lists(std::string_view key) const {
    return keys_->firstMatch(key).has_value();
}

} // namespace korvane
