#include "providers/projectdetector.h"

#include "config/providerfactories.h"
#include "input/applicationsets.h"
#include "providers/windowtitle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace korvane {

namespace {

constexpr std::array<std::string_view, 8> kProjectMarkers{
    ".git", "package.json", "Package.swift", ".swiftpm", ".xcodeproj", ".xcworkspace", ".korvane.json", "CLAUDE.md"};

// Never a fallback root: the system's own folders, and the folders that hold home directories.
const std::unordered_set<std::string>& excludedFallbackDirectories() {
    static const std::unordered_set<std::string> directories{
        "/",    "/Users", "/System", "/Library", "/Applications", "/var",   "/tmp",  "/opt",
        "/usr", "/home",  "/root",   "/etc",     "/srv",          "/mnt",   "/media", "/run",
    };
    return directories;
}

std::string withoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string parentDirectory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string lastPathComponent(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos || path == "/" ? path : path.substr(slash + 1);
}

// Folders that hold keys and credentials, below home: never a project, nor anything inside them.
constexpr std::array<std::string_view, 7> kPrivateHomeFolders{
    ".ssh", ".gnupg", ".aws", ".kube", ".docker", ".password-store", ".config/gcloud"};

// Whether `path` (absolute, normalised) lies in a private folder of home, or in a folder no scan
// enters (".git", ".ssh", ".cache", ...) wherever that is.
bool isPrivatePath(const std::string& path, const std::string& home) {
    if (!home.empty() && home != "/") {
        for (std::string_view folder : kPrivateHomeFolders) {
            const std::string private_ = home + "/" + std::string(folder);
            if (path == private_ || path.starts_with(private_ + "/")) {
                return true;
            }
        }
    }
    const auto& never = neverWalkedDirectories();
    for (const auto& component : std::filesystem::path(path)) {
        const std::string name = component.string();
        if (never.contains(name) || std::find(kPrivateHomeFolders.begin(), kPrivateHomeFolders.end(), name) !=
                                        kPrivateHomeFolders.end()) {
            return true;
        }
    }
    return false;
}

bool isUsableFallback(const std::string& directory, const std::string& home) {
    std::string dir = withoutTrailingSlash(directory);
    if (home.empty() || home == "/" || excludedFallbackDirectories().contains(dir) || dir == home) {
        return false;
    }
    return dir.starts_with(home + "/");
}

double secondsBetween(std::chrono::system_clock::time_point a, std::chrono::system_clock::time_point b) {
    return std::chrono::duration<double>(a - b).count();
}

bool sameMoment(std::chrono::system_clock::time_point a, std::chrono::system_clock::time_point b) {
    return std::abs(secondsBetween(a, b)) <= ProjectDetector::sameMomentTolerance;
}

} // namespace

ProjectDetector::ProjectDetector(std::shared_ptr<ActiveAppProvider> appProvider,
                                 std::shared_ptr<ProcessTable> processTable, std::shared_ptr<FileProbe> files,
                                 std::unique_ptr<TmuxPaneFinder> tmux,
                                 std::unique_ptr<ScreenWindowFinder> screen)
    : appProvider_(std::move(appProvider))
    , processTable_(std::move(processTable))
    , files_(std::move(files))
    , tmux_(std::move(tmux))
    , screen_(std::move(screen)) {}

std::optional<std::string> ProjectDetector::detectProjectRoot() {
    return detectProjectRoot(appProvider_->frontmostApplication());
}

std::optional<std::string>
ProjectDetector::detectProjectRoot(const std::optional<FrontmostApplication>& application) {
    if (!application || application->bundleID.empty()) {
        setCurrentProjectRoot(std::nullopt);
        return std::nullopt;
    }
    const std::string& bundleID = application->bundleID;
    if (terminalBundleIDs().contains(bundleID)) {
        return detectTerminal(bundleID, application->pid);
    }
    auto title = appProvider_->focusedWindowTitle(application->pid);
    if (!title) {
        lastDetectionKey_.reset();
        lastDetection_ = {};
        return detectNonTerminal(bundleID, application->pid);
    }
    DetectionKey key{bundleID, application->pid, title};
    if (lastDetectionKey_ == key) {
        if (auto* hit = std::get_if<CachedDetection::Hit>(&lastDetection_.value)) {
            setCurrentProjectRoot(hit->root);
            return hit->root;
        }
    }
    auto root = detectNonTerminal(bundleID, application->pid);
    lastDetectionKey_ = std::move(key);
    lastDetection_ = {CachedDetection::Hit{root}};
    return root;
}

std::optional<std::string> ProjectDetector::detectNonTerminal(const std::string& bundleID, std::int32_t pid) {
    if (auto root = detectFromWindowTitle(bundleID, pid)) {
        lastSuccessfulProject_[bundleID] = *root;
        return root;
    }
    if (auto remembered = lastSuccessfulProject_.find(bundleID);
        remembered != lastSuccessfulProject_.end() && files_->exists(remembered->second)) {
        std::string root = remembered->second;
        setCurrentProjectRoot(root);
        return root;
    }
    setCurrentProjectRoot(std::nullopt);
    return std::nullopt;
}

std::optional<std::string> ProjectDetector::detectTerminal(const std::string& bundleID, std::int32_t pid) {
    if (auto root = detectFromWindowTitle(bundleID, pid)) {
        lastSuccessfulProject_[bundleID] = *root;
        return root;
    }
    ProcessTreeDetection tree = detectFromProcessTree(pid);
    if (const auto* found = std::get_if<ProcessTreeFound>(&tree)) {
        lastSuccessfulProject_[bundleID] = found->root;
        return found->root;
    }
    setCurrentProjectRoot(std::nullopt);
    return std::nullopt;
}

void ProjectDetector::setCurrentProjectRoot(std::optional<std::string> root) {
    std::optional<std::string> old = std::exchange(currentProjectRoot_, root);
    if (root) {
        if (old == root) {
            return;
        }
        if (onProjectChanged) {
            onProjectChanged(root, lastPathComponent(withoutTrailingSlash(*root)));
        }
        return;
    }
    if (old && onProjectChanged) {
        onProjectChanged(std::nullopt, std::nullopt);
    }
}

bool ProjectDetector::isProjectRoot(const std::string& path, FileProbe& files) {
    return std::any_of(kProjectMarkers.begin(), kProjectMarkers.end(), [&](std::string_view marker) {
        return files.exists(path + "/" + std::string(marker));
    });
}

std::optional<std::string> ProjectDetector::findProjectRoot(const std::string& from, FileProbe& files) {
    // Paths come from window titles too: "." and ".." are resolved first, so that a path that
    // climbs out of home cannot pass the "inside home" test by its spelling.
    if (!from.starts_with('/')) {
        return std::nullopt;
    }
    std::string path = withoutTrailingSlash(std::filesystem::path(from).lexically_normal().string());
    if (!files.exists(path)) {
        return std::nullopt;
    }
    std::string start = files.isDirectory(path) ? path : parentDirectory(path);
    std::string home = files.homeDirectory();
    // A terminal in ~/.ssh or a window titled "~/.aws" must not make keys a project's files, also
    // when a link leads there.
    const auto unlessPrivate = [&](std::string root) -> std::optional<std::string> {
        if (isPrivatePath(root, home) || isPrivatePath(files.resolvedPath(root), files.resolvedPath(home))) {
            return std::nullopt;
        }
        return root;
    };

    if (start != "/") {
        for (std::string dir = start; !dir.empty();) {
            for (std::string_view marker : kProjectMarkers) {
                if (files.exists(dir + "/" + std::string(marker))) {
                    if (dir != home) {
                        return unlessPrivate(dir);
                    }
                    break;
                }
            }
            dir = parentDirectory(dir);
            if (dir == "/") {
                break;
            }
        }
    }
    if (isUsableFallback(start, home)) {
        return unlessPrivate(start);
    }
    return std::nullopt;
}

std::optional<std::string> ProjectDetector::detectFromWindowTitle(const std::string& bundleID, std::int32_t pid) {
    auto title = appProvider_->focusedWindowTitle(pid);
    if (!title) {
        return std::nullopt;
    }
    std::string key = "title:" + bundleID + ":" + *title;
    if (const std::string* cached = cache_.find(key)) {
        if (cached->empty()) {
            return std::nullopt;
        }
        std::string root = *cached;
        setCurrentProjectRoot(root);
        return root;
    }
    for (const std::string& candidate : candidatePaths(*title, *files_)) {
        if (auto root = findProjectRoot(candidate, *files_)) {
            cache_.insert(key, *root);
            setCurrentProjectRoot(*root);
            return root;
        }
    }
    loggedTitleFailures_.insert(key, true);
    if (auto root = matchCurrentRoot(*title, currentProjectRoot_)) {
        cache_.insert(key, *root);
        setCurrentProjectRoot(*root);
        return root;
    }
    cache_.insert(key, std::string());
    return std::nullopt;
}

std::optional<std::string> ProjectDetector::rootForDirectory(const std::string& directory) {
    std::string key = "cwd:" + directory;
    if (const std::string* cached = cache_.find(key)) {
        return *cached;
    }
    auto root = findProjectRoot(directory, *files_);
    if (root) {
        cache_.insert(key, *root);
    }
    return root;
}

std::string ProjectDetector::resolveMergedRoot(const std::string& device, std::map<std::string, std::string>& parents) {
    auto entry = parents.try_emplace(device, device).first;
    std::string x = device;
    while (true) {
        const std::string& parent = entry->second;
        if (parent == x) {
            return x;
        }
        // Path halving: point x at its grandparent, then continue from there.
        std::string grandparent = parents.try_emplace(parent, parent).first->second;
        entry->second = grandparent;
        x = grandparent;
        entry = parents.try_emplace(x, x).first;
    }
}

ProcessTreeDetection ProjectDetector::detectFromProcessTree(std::int32_t pid) {
    using Clock = std::chrono::system_clock;
    // Process ids below 1 name no application; below 0 they would walk the whole table.
    if (pid < 1) {
        return ProcessTreeNone{};
    }
    std::vector<ProcessInfo::DescendantInfo> descendants = ProcessInfo::descendants(pid, *processTable_);
    if (tmux_) {
        descendants = tmux_->withPanesShown(std::move(descendants));
    }
    if (screen_) {
        descendants = screen_->withWindowsShown(std::move(descendants));
    }

    std::unordered_map<std::int32_t, std::string> deviceOf;
    for (const auto& entry : descendants) {
        if (entry.tty) {
            deviceOf[entry.pid] = *entry.tty;
        }
    }

    // Pane groups: a process on another device than its parent joins the two devices.
    std::map<std::string, std::string> parents;
    for (const auto& entry : descendants) {
        if (!entry.tty) {
            continue;
        }
        auto parentDevice = deviceOf.find(entry.parentPid);
        if (parentDevice == deviceOf.end() || parentDevice->second == *entry.tty) {
            continue;
        }
        std::string a = resolveMergedRoot(parentDevice->second, parents);
        std::string b = resolveMergedRoot(*entry.tty, parents);
        if (a != b) {
            parents[a] = b;
        }
    }

    struct Group {
        std::string key;
        std::vector<std::string> devices; // in order of first appearance
        std::optional<std::string> primary;
        std::optional<Clock::time_point> date;
        std::vector<std::string> directories;
    };
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> groupIndex;
    std::unordered_map<std::string, std::size_t> groupOfDevice;
    for (const auto& entry : descendants) {
        if (!entry.tty) {
            continue;
        }
        std::string key = resolveMergedRoot(*entry.tty, parents);
        auto [at, inserted] = groupIndex.try_emplace(key, groups.size());
        if (inserted) {
            groups.push_back(Group{key, {}, {}, {}, {}});
        }
        Group& group = groups[at->second];
        if (std::find(group.devices.begin(), group.devices.end(), *entry.tty) == group.devices.end()) {
            group.devices.push_back(*entry.tty);
        }
        groupOfDevice[*entry.tty] = at->second;
    }

    std::unordered_map<std::string, std::optional<Clock::time_point>> deviceDates;
    for (const Group& group : groups) {
        for (const std::string& device : group.devices) {
            deviceDates.try_emplace(device, processTable_->deviceAccessTime(device));
        }
    }

    for (Group& group : groups) {
        if (group.devices.size() == 1) {
            group.primary = group.devices.front();
            group.date = deviceDates[group.devices.front()];
            continue;
        }
        std::vector<std::pair<std::string, Clock::time_point>> dated;
        for (const std::string& device : group.devices) {
            if (auto date = deviceDates[device]) {
                dated.emplace_back(device, *date);
            }
        }
        if (dated.empty()) {
            continue;
        }
        std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        group.date = dated.front().second;
        std::set<std::string> tied;
        for (const auto& [device, date] : dated) {
            if (sameMoment(date, *group.date)) {
                tied.insert(device);
            }
        }
        if (tied.size() == 1) {
            group.primary = *tied.begin();
            continue;
        }
        // Several devices used at the same moment: the one where a program with a directory runs.
        for (const auto& entry : descendants) {
            if (entry.tty && tied.contains(*entry.tty) && entry.cwd) {
                group.primary = *entry.tty;
                break;
            }
        }
        if (!group.primary) {
            for (const auto& entry : descendants) {
                if (entry.tty && tied.contains(*entry.tty)) {
                    group.primary = *entry.tty;
                    break;
                }
            }
        }
    }

    for (const auto& entry : descendants) {
        if (entry.tty && entry.cwd) {
            Group& group = groups[groupOfDevice[*entry.tty]];
            if (group.primary == entry.tty) {
                group.directories.push_back(*entry.cwd);
            }
        }
    }

    std::vector<PaneCandidate> candidates;
    std::unordered_map<std::string, std::size_t> candidateGroup;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        for (const std::string& directory : groups[i].directories) {
            if (auto root = rootForDirectory(directory)) {
                std::optional<Clock::time_point> latest;
                for (const std::string& device : groups[i].devices) {
                    if (auto date = deviceDates[device]; date && (!latest || *date > *latest)) {
                        latest = date;
                    }
                }
                candidateGroup[groups[i].key] = i;
                candidates.push_back(PaneCandidate{groups[i].key, {*root}, latest});
                break;
            }
        }
    }

    auto found = [&](const std::string& root) -> ProcessTreeDetection {
        setCurrentProjectRoot(root);
        return ProcessTreeFound{root};
    };

    if (candidates.empty()) {
        return ProcessTreeNone{};
    }
    const Group* newest = nullptr;
    for (const Group& group : groups) {
        if (group.date && (!newest || *group.date > *newest->date)) {
            newest = &group;
        }
    }
    if (newest != nullptr) {
        bool newestHasCandidate = candidateGroup.contains(newest->key);
        bool sameMomentAsNewest = std::any_of(candidates.begin(), candidates.end(), [&](const PaneCandidate& c) {
            const Group& group = groups[candidateGroup[c.pane]];
            return group.date && sameMoment(*group.date, *newest->date);
        });
        if (!newestHasCandidate && !sameMomentAsNewest) {
            return ProcessTreeNone{};
        }
    }
    if (candidates.size() == 1) {
        return found(candidates.front().roots.front());
    }
    std::vector<const PaneCandidate*> dated;
    for (const PaneCandidate& candidate : candidates) {
        if (candidate.accessDate) {
            dated.push_back(&candidate);
        }
    }
    std::stable_sort(dated.begin(), dated.end(),
                     [](const PaneCandidate* a, const PaneCandidate* b) { return *a->accessDate > *b->accessDate; });
    if (!dated.empty() && std::none_of(dated.begin() + 1, dated.end(), [&](const PaneCandidate* other) {
            return sameMoment(*other->accessDate, *dated.front()->accessDate);
        })) {
        return found(dated.front()->roots.front());
    }
    std::vector<std::string> roots;
    for (const PaneCandidate& candidate : candidates) {
        if (std::find(roots.begin(), roots.end(), candidate.roots.front()) == roots.end()) {
            roots.push_back(candidate.roots.front());
        }
    }
    if (roots.size() == 1) {
        return found(roots.front());
    }
    return ProcessTreeAmbiguous{std::move(roots)};
}

} // namespace korvane
