#include "providers/projectdetector.h"

#include "config/providerfactories.h"
#include "input/applicationsets.h"
#include "providers/panegroups.h"
#include "providers/windowtitle.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string_view>
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

} // namespace

ProjectDetector::ProjectDetector(std::shared_ptr<ActiveAppProvider> appProvider,
                                 std::shared_ptr<ProcessTable> processTable, std::shared_ptr<FileProbe> files,
                                 std::unique_ptr<TmuxPaneFinder> tmux,
                                 std::unique_ptr<ScreenWindowFinder> screen)
    : appProvider_(std::move(appProvider))
    , processTable_(std::move(processTable))
    , files_(std::move(files))
    , tmux_(std::move(tmux))
    , screen_(std::move(screen))
    , typedTab_(processTable_)
    , unmarked_(cacheCapacity, kProjectMarkers) {}

std::optional<std::string> ProjectDetector::detectProjectRoot() {
    return detectProjectRoot(appProvider_->frontmostApplication());
}

std::optional<std::string> ProjectDetector::detectProjectRoot(const std::optional<FrontmostApplication>& application,
                                                              bool atTrigger) {
    // What the tabs read after the last key, for a trigger to be told by.
    adoptTabBaseline();
    terminalPid_.reset();
    tabsUncounted_ = false;
    tabsChanged();
    if (!application || application->bundleID.empty()) {
        setCurrentProjectRoot(std::nullopt);
        return std::nullopt;
    }
    const std::string& bundleID = application->bundleID;
    if (terminalBundleIDs().contains(bundleID)) {
        auto root = detectTerminal(bundleID, application->pid, atTrigger);
        tabsChanged();
        walkNotedOnlyWithSeveralTabs();
        return root;
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

std::optional<std::string> ProjectDetector::detectTerminal(const std::string& bundleID, std::int32_t pid,
                                                           bool atTrigger) {
    terminalPid_ = pid;
    // The title is read once, and only where the processes leave the choice open.
    std::optional<std::optional<std::string>> title;
    const auto named = [&] {
        if (!title) {
            title = titleRoot(bundleID, pid);
        }
        return *title;
    };
    ProcessTreeDetection tree = detectFromProcessTree(pid, named, atTrigger);
    std::optional<std::string> root;
    if (const auto* found = std::get_if<ProcessTreeFound>(&tree)) {
        root = found->root;
    } else if (std::holds_alternative<ProcessTreeNone>(tree)) {
        root = named();
    }
    if (root) {
        lastSuccessfulProject_[bundleID] = *root;
    }
    setCurrentProjectRoot(root);
    return root;
}

void ProjectDetector::takeTabBaseline() {
    if (auto reading = shelf_->planned()) {
        const std::uint64_t inputs = shelf_->inputs();
        shelf_->offer({reading->generation, inputs, reading->read()});
        adoptTabBaseline();
    }
}

std::optional<TabBaselineShelf::Reading> ProjectDetector::tabBaselineReading() const {
    if (!wantsTabBaseline()) {
        return std::nullopt;
    }
    return TabBaselineShelf::Reading{
        tabBaselineGeneration_,
        [pid = *terminalPid_, table = processTable_, panes = multiplexedPanes(), last = lastReadingWalk_] {
            TabWalk::Walked walked;
            {
                std::lock_guard guard(last->lock);
                if (++last->readings % TabWalk::readingsBetweenWalks == 0) {
                    last->walked = {};
                }
                last->walked = TabWalk::readAgain(std::move(last->walked), pid, *table);
                walked = last->walked;
            }
            walked.spare = walked.processes;
            auto baseline = TypedTab::readBaseline(panes.with(walked.processes, *table), *table);
            baseline.walked = std::move(walked);
            return baseline;
        }};
}

void ProjectDetector::adoptTabBaseline() {
    auto read = shelf_->take(tabBaselineGeneration_);
    if (!read) {
        return;
    }
    shelf_->retire(tabWalk_.keep(std::move(read->baseline.walked), read->inputs));
    typedTab_.setBaseline(std::move(read->baseline));
    tabsUncounted_ = false;
}

void ProjectDetector::tabsChanged() {
    ++tabBaselineGeneration_;
    shelf_->plan(tabBaselineReading());
}

bool ProjectDetector::wantsTabBaseline() const {
    return terminalPid_ && (tabsUncounted_ || typedTab_.hasSeveralPanes());
}

// The keys typed reach noteInput only while a terminal with several tabs is in front: once fewer are
// seen, a walk is no longer known to have begun after the last of them.
void ProjectDetector::walkNotedOnlyWithSeveralTabs() {
    if (!shelf_->wanted()) {
        shelf_->noteInput();
    }
}

void ProjectDetector::applicationActivated(const FrontmostApplication& application) {
    // Keys typed elsewhere went unnoted: what ran below a terminal before may have changed.
    shelf_->noteInput();
    terminalPid_.reset();
    tabsUncounted_ = false;
    if (application.pid >= 1 && terminalBundleIDs().contains(application.bundleID)) {
        terminalPid_ = application.pid;
        tabsUncounted_ = true;
    }
    tabsChanged();
}

// A tmux or screen client reads none of the keys typed on its device: its server does, and the program
// in the pane or window shown reads them from the pane's own device.
MultiplexedPanes ProjectDetector::multiplexedPanes() const {
    MultiplexedPanes panes;
    if (tmux_) {
        panes.add(std::string(TmuxPaneFinder::clientName), tmux_->serverOfClient(), tmux_->shownOfClient());
    }
    if (screen_) {
        panes.add(std::string(ScreenWindowFinder::processName), screen_->serverOfClient(),
                  screen_->shownOfClient());
    }
    return panes;
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
    return findProjectRoot(from, files,
                           [&files](const std::string& folder) { return isProjectRoot(folder, files); });
}

std::optional<std::string> ProjectDetector::findProjectRoot(const std::string& from, FileProbe& files,
                                                            const MarkerTest& holdsMarker) {
    // Paths come from window titles too: "." and ".." are resolved first, so that a path that
    // climbs out of home cannot pass the "inside home" test by its spelling.
    if (!from.starts_with('/')) {
        return std::nullopt;
    }
    std::string path = withoutTrailingSlash(std::filesystem::path(from).lexically_normal().string());
    // A directory exists: a terminal's folder, the common case, is asked of the disk once.
    const bool directory = files.isDirectory(path);
    if (!directory && !files.exists(path)) {
        return std::nullopt;
    }
    std::string start = directory ? path : parentDirectory(path);
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
            if (holdsMarker(dir) && dir != home) {
                return unlessPrivate(dir);
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
    auto root = titleRoot(bundleID, pid);
    if (root) {
        setCurrentProjectRoot(*root);
    }
    return root;
}

std::optional<std::string> ProjectDetector::titleRoot(const std::string& bundleID, std::int32_t pid) {
    auto title = appProvider_->focusedWindowTitle(pid);
    if (!title) {
        return std::nullopt;
    }
    std::string key = "title:" + bundleID + ":" + *title;
    if (const std::string* cached = cache_.find(key)) {
        return cached->empty() ? std::nullopt : std::optional(*cached);
    }
    for (const std::string& candidate : candidatePaths(*title, *files_)) {
        if (auto root = findProjectRoot(candidate, *files_)) {
            cache_.insert(key, *root);
            return root;
        }
    }
    loggedTitleFailures_.insert(key, true);
    auto root = matchCurrentRoot(*title, currentProjectRoot_);
    cache_.insert(key, root.value_or(std::string()));
    return root;
}

std::optional<std::string> ProjectDetector::rootForDirectory(const std::string& directory,
                                                             MarkedFolders& marked) {
    std::string key = "cwd:" + directory;
    if (const std::string* cached = cache_.find(key)) {
        return *cached;
    }
    const auto holdsMarker = [this, &marked](const std::string& folder) {
        auto [known, added] = marked.try_emplace(folder, false);
        if (added) {
            known->second = unmarked_.holdsMarker(folder, *files_);
        }
        return known->second;
    };
    // Where none of the folders on the way up held a marker and the start is no fallback, they decide
    // alone: while none holds one, the directory is in no project. No path holds a zero byte, so home
    // and directory cannot run together in the key.
    const std::string home = files_->homeDirectory();
    const std::string outsideKey = home + '\0' + directory;
    if (const std::string* start = outsideProjects_.find(outsideKey);
        start && !climbHoldsMarker(*start, holdsMarker)) {
        return std::nullopt;
    }
    std::optional<std::string> start;
    bool marker = false;
    auto root = findProjectRoot(directory, *files_, [&](const std::string& folder) {
        if (!start) {
            start = folder;
        }
        const bool here = holdsMarker(folder);
        marker = marker || here;
        return here;
    });
    if (root) {
        cache_.insert(key, *root);
    } else if (start && !marker && !isUsableFallback(*start, home)) {
        outsideProjects_.insert(outsideKey, *start);
    }
    return root;
}

bool ProjectDetector::climbHoldsMarker(const std::string& start, const MarkerTest& holdsMarker) {
    for (std::string dir = start; !dir.empty() && dir != "/"; dir = parentDirectory(dir)) {
        if (holdsMarker(dir)) {
            return true;
        }
    }
    return false;
}

ProcessTreeDetection ProjectDetector::detectFromProcessTree(std::int32_t pid, const PaneChooser::TitleRoot& titleRoot,
                                                           bool keysTyped) {
    // Process ids below 1 name no application; below 0 they would walk the whole table.
    if (pid < 1) {
        return ProcessTreeNone{};
    }
    // A walk is kept only below a terminal seen with several tabs, the one that may be busy.
    std::vector<ProcessInfo::DescendantInfo> processes =
        typedTab_.hasSeveralPanes() ? tabWalk_.processes(pid, shelf_->inputs(), *processTable_)
                                    : ProcessInfo::descendants(pid, *processTable_);
    // The devices a multiplexer's client is in front of: its own folder is where it was started.
    std::set<std::string> clientDevices;
    for (const auto& entry : processes) {
        if (entry.foreground && entry.tty &&
            (entry.name == TmuxPaneFinder::clientName || entry.name == ScreenWindowFinder::processName)) {
            clientDevices.insert(*entry.tty);
        }
    }
    const bool multiplexed = !clientDevices.empty();
    // Where the keys were read in a tab of the terminal's own, or in the pane a multiplexer's client showed
    // at the last question, that pane is the one typed in: its server need not be asked again.
    if (keysTyped && multiplexed) {
        // The servers' panes to their programs' children: a pane's keys are read by its shell or the program
        // started from it, and a build of thousands in another pane is not walked on the main thread.
        const MultiplexedPanes::Spread spread = multiplexedPanes().spread(processes, *processTable_, 2);
        const auto speaks = [&](const std::vector<std::string>& devices) {
            return MultiplexedPanes::speaksFor(spread, devices) &&
                   std::none_of(devices.begin(), devices.end(),
                                [&](const std::string& device) { return clientDevices.contains(device); });
        };
        if (auto told = typedTab_.toldPaneOnly(spread.processes, speaks)) {
            TabWalk::readFoldersAgain(*told, *processTable_);
            return chosen(*told, PaneGroups(*told), titleRoot);
        }
    }
    std::vector<ProcessInfo::DescendantInfo> walked;
    if (multiplexed) {
        walked = processes;
    }
    // tmux's and screen's questions all start before one wait: a terminal may run both, in two tabs.
    ServerQuestions::Wait wait;
    const auto askedTmux = tmux_ ? tmux_->ask(processes, wait) : TmuxPaneFinder::Asked();
    const auto askedScreen = screen_ ? screen_->ask(processes, wait) : ScreenWindowFinder::Asked();
    if (tmux_) {
        processes = tmux_->withPanesShown(std::move(processes), askedTmux, wait);
    }
    if (screen_) {
        processes = screen_->withWindowsShown(std::move(processes), askedScreen, wait);
    }
    // Only then is the tab typed in told: a multiplexer's client reads none of its keys, the program in
    // the pane or window it shows does.
    const std::size_t listed = processes.size();
    const PaneGroups groups(processes);
    processes = typedTab_.typedPaneOnly(std::move(processes), groups, keysTyped);
    // The tab typed in may come from a walk taken seconds ago; its few processes' folders are read now.
    const bool narrowed = processes.size() < listed;
    if (narrowed) {
        TabWalk::readFoldersAgain(processes, *processTable_);
    }
    // The panes of the servers followed now count apart, so that the keys typed there are worth a
    // baseline: the next trigger in the pane shown is then told without a question.
    if (multiplexed) {
        typedTab_.seePanes(
            PaneGroups(multiplexedPanes().with(std::move(walked), *processTable_, 1)).panes().size());
    }
    // Narrowed to one tab, the processes' panes are told apart again; else, as thousands may be, not.
    if (narrowed) {
        return chosen(processes, PaneGroups(processes), titleRoot);
    }
    return chosen(processes, groups, titleRoot);
}

ProcessTreeDetection ProjectDetector::chosen(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                             const PaneGroups& groups,
                                             const PaneChooser::TitleRoot& titleRoot) {
    MarkedFolders marked;
    const PaneChooser panes(*processTable_, [this, &marked](const std::string& directory) {
        return rootForDirectory(directory, marked);
    });
    ProcessTreeDetection tree = panes.choose(processes, groups, titleRoot);
    if (const auto* found = std::get_if<ProcessTreeFound>(&tree)) {
        setCurrentProjectRoot(found->root);
    } else if (std::holds_alternative<ProcessTreeNone>(tree) &&
               std::any_of(processes.begin(), processes.end(),
                           [](const auto& entry) { return entry.folderHidden; })) {
        return ProcessTreeHidden{};
    }
    return tree;
}

} // namespace korvane
