#include "gitguard/gitfolderstamp.h"

#include "base/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <utility>

extern char** environ;

namespace korvane {
namespace {

constexpr std::string_view ownVariables = "KORVANE_";
// A pointer file of git's holds one path.
constexpr std::size_t pointerLimit = 64 * 1024;

bool isWithin(const std::string& path, const std::string& folder) {
    const auto inner = std::filesystem::path(path).lexically_normal();
    const auto outer = std::filesystem::path(folder).lexically_normal();
    return !outer.empty() &&
           std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

} // namespace

GitFolderStamp::Variables GitFolderStamp::variablesOf(const ProcessRequest& request) {
    return [&request](const std::string& name) -> std::optional<std::string> {
        for (auto it = request.environment.rbegin(); it != request.environment.rend(); ++it) {
            if (it->first == name) {
                return it->second;
            }
        }
        if (std::find(request.removedEnvironment.begin(), request.removedEnvironment.end(), name) !=
            request.removedEnvironment.end()) {
            return std::nullopt;
        }
        const char* value = std::getenv(name.c_str());
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
}

std::string GitFolderStamp::readingKey(const ProcessRequest& request) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::size_t equals = text.find('=');
        if (equals != std::string_view::npos) {
            variables.insert_or_assign(std::string(text.substr(0, equals)),
                                       std::string(text.substr(equals + 1)));
        }
    }
    for (const auto& name : request.removedEnvironment) {
        variables.erase(name);
    }
    for (const auto& [name, value] : request.environment) {
        variables.insert_or_assign(name, value);
    }
    std::string key = request.executable + '\0' + request.workingDirectory.value_or(".") + '\0';
    for (const auto& [name, value] : variables) {
        if (!name.starts_with(ownVariables)) {
            key.append(name).append(1, '=').append(value).append(1, '\0');
        }
    }
    return key;
}

std::optional<std::filesystem::path> GitFolderStamp::pointerIn(const std::filesystem::path& file,
                                                               std::string_view prefix) {
    const auto text = readTextFile(file, pointerLimit);
    if (!text || !std::string_view(*text).starts_with(prefix)) {
        return std::nullopt;
    }
    // git reads the path as a C string, up to its line end.
    std::string path = text->substr(prefix.size());
    path = path.substr(0, path.find('\0'));
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
        path.pop_back();
    }
    if (path.empty()) {
        return std::nullopt;
    }
    return std::filesystem::path(path).is_absolute() ? std::filesystem::path(path)
                                                     : file.parent_path() / path;
}

GitFolderStamp GitFolderStamp::take(const std::string& folder, const std::string& executable,
                                    const Variables& variables) {
    GitFolderStamp stamp;
    stamp.folder_ = folder;
    stamp.add(executable);
    for (const auto& file : usersFiles(variables)) {
        stamp.add(file);
    }
    stamp.addIdentity(folder);
    stamp.searchMetNothing_ = !stamp.addSearchFrom(folder);
    // What was stamped before git was asked shows any later change as one; stamped again after, it is
    // dated as well (settled).
    stamp.takenBefore_ = stamp.stamps_.size();
    stamp.identities_.clear();
    return stamp;
}

bool GitFolderStamp::addSearchFrom(const std::string& folder) {
    // git searches from where it runs, its links resolved: a link on the way that comes to lead
    // elsewhere has it search other folders.
    addAlong(folder);
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    bool met = false;
    // In each folder up to the root, git tries its `.git`, then the folder itself as a git directory, and
    // looks at the owner and the device of what it tries: anything made, removed or mended there may
    // change what it finds. What else a folder holds does not. Folders past where git stops (a ceiling,
    // a mount point) are stamped all the same: a change there only has the answer read again.
    for (std::filesystem::path at = error ? std::filesystem::path(folder).lexically_normal() : real;;
         at = at.parent_path()) {
        addIdentity(at.string());
        const std::filesystem::path dotGit = at / ".git";
        if (addEntry(dotGit.string()).link.error != ENOENT) {
            met = true;
            const auto named = pointerIn(dotGit, "gitdir: ");
            if (named) {
                addAlong(named->string());
            }
            addTriedGitDirectory(named.value_or(dotGit));
        }
        // Without a HEAD, git looks no further at the folder itself.
        if (addEntry((at / "HEAD").string()).link.error != ENOENT) {
            met = true;
            addTriedGitDirectory(at);
        }
        if (at == at.parent_path() || at.empty()) {
            break;
        }
    }
    return met;
}

void GitFolderStamp::addTriedGitDirectory(const std::filesystem::path& gitDir) {
    // git takes a folder for a git directory by its HEAD and by the objects and refs folders of the
    // common directory its commondir names; it then reads the configuration of both.
    for (const char* inside : {"HEAD", "config", "config.worktree", "commondir"}) {
        addEntry((gitDir / inside).string());
    }
    std::filesystem::path common = gitDir;
    if (const auto named = pointerIn(gitDir / "commondir", "")) {
        addAlong(named->string());
        addEntry((*named / "config").string());
        common = *named;
    }
    addIdentity((common / "objects").string());
    addIdentity((common / "refs").string());
}

std::vector<std::string> GitFolderStamp::usersFiles(const Variables& variables) {
    std::vector<std::string> files;
    if (const auto global = variables("GIT_CONFIG_GLOBAL")) {
        files.push_back(*global);
    } else if (const auto home = variables("HOME")) {
        files.push_back(*home + "/.gitconfig");
        const auto configHome = variables("XDG_CONFIG_HOME");
        files.push_back((configHome && !configHome->empty() ? *configHome : *home + "/.config") +
                        "/git/config");
    }
    const auto system = variables("GIT_CONFIG_SYSTEM");
    files.push_back(system ? *system : std::string("/etc/gitconfig"));
    return files;
}

bool GitFolderStamp::addListing(const std::vector<GitConfigEntry>& entries,
                                const std::optional<std::string>& base, const Variables& variables) {
    bool sure = true;
    for (const auto& entry : entries) {
        const std::filesystem::path origin(std::string(GitConfigListing::originFile(entry)));
        std::vector<std::filesystem::path> files;
        if (origin.is_absolute()) {
            files.push_back(origin);
        } else if (!origin.empty() && base) {
            files.push_back(std::filesystem::path(*base) / origin);
        } else if (!origin.empty()) {
            for (std::filesystem::path at(folder_);; at = at.parent_path()) {
                files.push_back(at / origin);
                if (at == at.parent_path() || at.empty()) {
                    break;
                }
            }
        }
        for (const auto& file : files) {
            add(file.string());
        }
        const bool includes = entry.key == "include.path" ||
                              (entry.key.starts_with("includeif.") && entry.key.ends_with(".path"));
        if (!includes || !entry.value || entry.value->empty()) {
            continue;
        }
        const std::string named(*entry.value);
        if (named.starts_with('/')) {
            addAlong(named);
        } else if (named.starts_with("~/") && variables("HOME")) {
            addAlong(*variables("HOME") + named.substr(1));
        } else if (named.starts_with('~') || named.starts_with("%(") || files.empty()) {
            sure = false;
        } else {
            for (const auto& file : files) {
                addAlong((file.parent_path() / named).string());
            }
        }
    }
    return sure;
}

PathStamp GitFolderStamp::add(const std::string& path) {
    return insert(path, PathStamp::of(path), Kind::whole, nullptr);
}

PathStamp GitFolderStamp::addEntry(const std::string& path) {
    const PathStamp stamp = PathStamp::of(path);
    if (S_ISDIR(stamp.link.mode) && stamp.link.error == 0) {
        addIdentity(path);
        return stamp;
    }
    return insert(path, stamp, Kind::whole, nullptr);
}

void GitFolderStamp::addAlong(const std::string& path) {
    // Not normalised: a ".." after a link leads where the link's target leads.
    std::string at;
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t slash = std::min(rest.find('/', 1), rest.size());
        at.append(rest.substr(0, slash));
        rest.remove_prefix(slash);
        addEntry(at);
    }
}

void GitFolderStamp::addIdentity(const std::string& path) {
    const PathStamp stamp = PathStamp::of(path);
    insert(path, stamp, Kind::identity, [stamp](const PathStamp& now) { return now.sameIdentity(stamp); });
}

void GitFolderStamp::addLoose(const std::string& path, std::function<bool()> stillTheSame) {
    insert(path, PathStamp::of(path), Kind::loose,
           [stillTheSame = std::move(stillTheSame)](const PathStamp&) { return stillTheSame(); });
}

PathStamp GitFolderStamp::insert(const std::string& path, const PathStamp& stamp, Kind kind,
                                 std::function<bool(const PathStamp&)> unchanged) {
    // A path stamped whole needs nothing more, one stamped by its identity no second such stamp; a
    // looser stamp of it may come with another check.
    const auto whole = index_.find(path);
    if (whole != index_.end()) {
        return stamps_[whole->second].stamp;
    }
    if (kind == Kind::whole) {
        index_.emplace(path, stamps_.size());
    } else if (kind == Kind::identity && !identities_.insert(path).second) {
        return stamp;
    }
    // A folder outside the one git runs in (the user's home, /tmp) is dated as any other only where
    // it is stamped whole: what its entries do there decides nothing, nor can the folder's files make
    // them do it.
    const bool dated = kind == Kind::whole || (kind == Kind::identity && isWithin(path, folder_));
    stamps_.push_back(Stamped{path, stamp, std::move(unchanged), dated});
    return stamps_.back().stamp;
}

bool GitFolderStamp::holds() const {
    return std::all_of(stamps_.begin(), stamps_.end(), [](const Stamped& stamped) {
        const PathStamp now = PathStamp::of(stamped.path);
        return now == stamped.stamp || (stamped.unchanged && stamped.unchanged(now));
    });
}

bool GitFolderStamp::settled(std::chrono::system_clock::time_point began, double settle) const {
    const auto since = began - std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                   std::chrono::duration<double>(settle));
    const auto now = std::chrono::system_clock::now();
    return std::none_of(
        stamps_.begin() + static_cast<std::ptrdiff_t>(takenBefore_), stamps_.end(),
        [&](const Stamped& stamped) { return stamped.dated && stamped.stamp.changedSince(since, now); });
}

} // namespace korvane
