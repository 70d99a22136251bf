#pragma once

#include "platform/linux/desktopentry.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// The applications installed as desktop files in the XDG data folders, parsed once and parsed
// again when one of their folders changes. Answers which application a window class belongs to,
// and lists the installed applications. Any thread.
class DesktopFileIndex {
public:
    // The parsed entries with their lookup tables; immutable once published.
    struct Snapshot {
        // By ID; of two files with one ID the one in the earlier folder wins.
        std::vector<DesktopEntry> entries;

        const DesktopEntry* byID(std::string_view id) const;
        const DesktopEntry* byStartupWMClass(std::string_view wmClass) const;
        // The same, ignoring ASCII letter case.
        const DesktopEntry* byIDIgnoringCase(std::string_view id) const;
        const DesktopEntry* byStartupWMClassIgnoringCase(std::string_view wmClass) const;

    private:
        friend class DesktopFileIndex;
        void buildTables();
        std::unordered_map<std::string, std::size_t> ids_, wmClasses_, foldedIDs_, foldedWMClasses_;
    };

    // Searches the "applications" folders of `dataDirs`, the first taking precedence.
    explicit DesktopFileIndex(std::vector<std::filesystem::path> dataDirs);

    // $XDG_DATA_HOME (or ~/.local/share), then $XDG_DATA_DIRS (or /usr/local/share:/usr/share).
    static std::vector<std::filesystem::path> xdgDataDirs();

    // The current entries, parsed again first when a folder has changed since the last look.
    std::shared_ptr<const Snapshot> snapshot();

    // One desktop file's [Desktop Entry] group, or nothing when it is not a visible application.
    static std::optional<DesktopEntry> parse(std::string_view contents, std::string id);

private:
    struct FolderStamp {
        std::filesystem::path path;
        bool exists = false;
        std::timespec modified{};
    };

    static std::timespec modificationTime(const std::filesystem::path& path, bool& exists);
    bool changed() const;
    void rebuild();

    std::vector<std::filesystem::path> applicationDirs_;
    std::mutex mutex_;
    std::vector<FolderStamp> stamps_;
    std::shared_ptr<const Snapshot> snapshot_;
};

} // namespace korvane
