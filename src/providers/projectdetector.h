#pragma once

#include "base/lrumap.h"
#include "platform/activeappprovider.h"
#include "platform/fileprobe.h"
#include "platform/processtable.h"
#include "providers/multiplexedpanes.h"
#include "providers/panechooser.h"
#include "providers/processinfo.h"
#include "providers/processtreedetection.h"
#include "providers/screenwindowfinder.h"
#include "providers/tabbaselineshelf.h"
#include "providers/tabwalk.h"
#include "providers/tmuxpanefinder.h"
#include "providers/typedtab.h"
#include "providers/unmarkedfolders.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace korvane {

// Decides which project directory the user works in, from the frontmost application: its window
// title, and for a terminal the programs running in it. Keeps the current root, caches what it has
// worked out and reports every change of root. Main thread.
class ProjectDetector {
public:
    // The key of a detection for an application that is no terminal.
    struct DetectionKey {
        std::string bundleID;
        std::int32_t pid = 0;
        std::optional<std::string> title;

        bool operator==(const DetectionKey&) const = default;
    };

    struct CachedDetection {
        struct None {};
        // A detection ran and found this root, which may be absent.
        struct Hit {
            std::optional<std::string> root;
        };
        std::variant<None, Hit> value;
    };

    // Entries kept of the detection cache and of the failed titles; the least recently used go.
    static constexpr std::size_t cacheCapacity = 4096;

    // With `tmux`, a terminal running tmux is read through the pane its client shows; without,
    // through the client's own folder. With `screen`, one running GNU screen is read through the window
    // its display shows, or gives no folder; without, through the client's own folder.
    ProjectDetector(std::shared_ptr<ActiveAppProvider> appProvider,
                    std::shared_ptr<ProcessTable> processTable, std::shared_ptr<FileProbe> files,
                    std::unique_ptr<TmuxPaneFinder> tmux = nullptr,
                    std::unique_ptr<ScreenWindowFinder> screen = nullptr);

    // Runs one detection for the frontmost application and returns the root found.
    std::optional<std::string> detectProjectRoot();
    // The same for `application`, the frontmost one as the caller has just read it; `atTrigger` when
    // the trigger's keys have just been typed into it, which tells a terminal's tabs apart.
    std::optional<std::string> detectProjectRoot(const std::optional<FrontmostApplication>& application,
                                                 bool atTrigger = false);

    // Takes what the tabs of the terminal in front have read so far, the baseline the trigger's keys
    // are told by, on the calling thread. Reads nothing unless that terminal showed several tabs, or has
    // just come forward with its tabs not counted yet.
    void takeTabBaseline();
    // Where the reading of the tabs is planned, and what the reader off the main thread read is left for
    // the next detection; the key tap asks it whether a key is worth a baseline.
    const std::shared_ptr<TabBaselineShelf>& tabBaselineShelf() const { return shelf_; }
    // What the reader left on the shelf for the current plan becomes the baseline; each detection begins
    // with it.
    void adoptTabBaseline();
    // A key or click reached the application in front (any thread).
    void noteInput() { shelf_->noteInput(); }
    // Whether the last trigger's keys had not been read by any tab yet: a detection a few milliseconds
    // later may tell the tab.
    bool triggerKeysUnread() const { return typedTab_.keysUnread(); }
    // `application` came in front. Notes a terminal only, its tabs not yet counted: the caller has its
    // baseline read (tabBaselineReading) at once, for a trigger typed before the detection that follows
    // the switch, without the walk below it on the main thread.
    void applicationActivated(const FrontmostApplication& application);

    const std::optional<std::string>& currentProjectRoot() const { return currentProjectRoot_; }
    void setCurrentProjectRoot(std::optional<std::string> root);

    // Called with the new root and its folder name (both absent when there is none) on every change.
    std::function<void(const std::optional<std::string>& root, const std::optional<std::string>& name)>
        onProjectChanged;

    // Whether one of the project markers sits directly inside `path`.
    static bool isProjectRoot(const std::string& path, FileProbe& files);

    // The nearest directory at or above `from` that holds a marker (never "/" and never home);
    // failing that, the start directory itself when it lies strictly inside home.
    static std::optional<std::string> findProjectRoot(const std::string& from, FileProbe& files);

    // The root named by the focused window's title, applied; absent when the title names none.
    std::optional<std::string> detectFromWindowTitle(const std::string& bundleID, std::int32_t pid);

    // The root of a terminal's processes, in steps: the processes below `pid`; tmux's shown pane and
    // screen's shown window in place of their clients; the tab typed in, where `keysTyped` since the
    // baseline tell it; the panes' projects, among which the root `titleRoot` names, else the pane read
    // last. A found root is applied. Where no pane has a project and one hides its folder (a screen
    // window that cannot be known), ProcessTreeHidden: the title may not speak for it.
    ProcessTreeDetection detectFromProcessTree(std::int32_t pid, const PaneChooser::TitleRoot& titleRoot = {},
                                               bool keysTyped = false);

    // Read by tests and diagnostics.
    std::size_t cacheSize() const { return cache_.size(); }
    bool isLoggedTitleFailure(const std::string& key) const { return loggedTitleFailures_.contains(key); }

private:
    std::optional<std::string> detectTerminal(const std::string& bundleID, std::int32_t pid, bool atTrigger);
    std::optional<std::string> detectNonTerminal(const std::string& bundleID, std::int32_t pid);
    // The root the focused window's title names, not applied.
    std::optional<std::string> titleRoot(const std::string& bundleID, std::int32_t pid);
    // Whether each folder asked about holds a marker, kept through one detection: a busy terminal's tabs
    // in folders with no project share the folders above them, each asked of the disk once.
    using MarkedFolders = std::unordered_map<std::string, bool>;
    std::optional<std::string> rootForDirectory(const std::string& directory, MarkedFolders& marked);
    // Whether a folder holds a marker, as a climb from a folder to the top asks it.
    using MarkerTest = std::function<bool(const std::string& folder)>;
    static std::optional<std::string> findProjectRoot(const std::string& from, FileProbe& files,
                                                      const MarkerTest& holdsMarker);
    // Whether a folder from `start` up to the top, "/" left out, holds a marker.
    static bool climbHoldsMarker(const std::string& start, const MarkerTest& holdsMarker);
    // The terminal in front or its tabs changed: a reading under way is stale, and the next is planned.
    void tabsChanged();
    // The reading of the terminal in front's tabs, where they are worth a baseline.
    std::optional<TabBaselineShelf::Reading> tabBaselineReading() const;
    // The root that `processes` (a terminal's, narrowed to what speaks for it) name, applied.
    ProcessTreeDetection chosen(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                const PaneGroups& groups, const PaneChooser::TitleRoot& titleRoot);
    // Whether the terminal in front's tabs are worth a baseline.
    bool wantsTabBaseline() const;
    void walkNotedOnlyWithSeveralTabs();
    // The tmux and screen servers the terminal's clients were last found to use, for the tabs' baseline.
    MultiplexedPanes multiplexedPanes() const;

    std::shared_ptr<ActiveAppProvider> appProvider_;
    std::shared_ptr<ProcessTable> processTable_;
    std::shared_ptr<FileProbe> files_;
    std::unique_ptr<TmuxPaneFinder> tmux_;
    std::unique_ptr<ScreenWindowFinder> screen_;
    TypedTab typedTab_;
    // The terminal detected last, while it is the application in front.
    std::optional<std::int32_t> terminalPid_;
    // The terminal came forward and neither a baseline nor a detection has counted its tabs since: the
    // count held is another terminal's, or one from before.
    bool tabsUncounted_ = false;
    std::uint64_t tabBaselineGeneration_ = 0;
    TabWalk tabWalk_;
    // The walk of the last reading of the tabs, the next one's start.
    struct LastReadingWalk {
        std::mutex lock;
        TabWalk::Walked walked;
        unsigned readings = 0;
    };
    std::shared_ptr<LastReadingWalk> lastReadingWalk_ = std::make_shared<LastReadingWalk>();
    std::shared_ptr<TabBaselineShelf> shelf_ = std::make_shared<TabBaselineShelf>();
    LruMap<std::string, std::string> cache_{cacheCapacity};
    // Only a folder's root is kept in cache_; a folder in no project is climbed again, asking only
    // whether each folder on the way changed.
    UnmarkedFolders unmarked_;
    // The folders found in no project, by home and folder, with the folder their climb started at.
    LruMap<std::string, std::string> outsideProjects_{cacheCapacity};
    LruMap<std::string, bool> loggedTitleFailures_{cacheCapacity};
    std::map<std::string, std::string> lastSuccessfulProject_;
    std::optional<DetectionKey> lastDetectionKey_;
    CachedDetection lastDetection_;
    std::optional<std::string> currentProjectRoot_;
};

} // namespace korvane
