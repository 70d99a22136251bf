#include "platform/linux/applicationidentity.h"

#include <array>
#include <string_view>

namespace korvane {

std::optional<std::string> applicationIdentity(const WindowIdentityHints& hints,
                                               const DesktopFileIndex::Snapshot& installed) {
    if (!hints.gtkApplicationID.empty()) {
        return hints.gtkApplicationID;
    }
    if (!hints.kdeDesktopFile.empty()) {
        // Usually a bare ID, but some programs set a file name or a whole path.
        std::string_view name = hints.kdeDesktopFile;
        if (auto slash = name.rfind('/'); slash != std::string_view::npos) {
            name.remove_prefix(slash + 1);
        }
        if (name.ends_with(".desktop")) {
            name.remove_suffix(8);
        }
        if (!name.empty()) {
            return std::string(name);
        }
    }
    const std::array<std::string_view, 2> classes{hints.wmClass, hints.wmClassInstance};
    using Lookup = const DesktopEntry* (DesktopFileIndex::Snapshot::*)(std::string_view) const;
    for (Lookup lookup : {&DesktopFileIndex::Snapshot::byStartupWMClass, &DesktopFileIndex::Snapshot::byID,
                          &DesktopFileIndex::Snapshot::byStartupWMClassIgnoringCase,
                          &DesktopFileIndex::Snapshot::byIDIgnoringCase}) {
        for (std::string_view name : classes) {
            if (name.empty()) {
                continue;
            }
            if (const DesktopEntry* entry = (installed.*lookup)(name)) {
                return entry->id;
            }
        }
    }
    if (!hints.wmClass.empty()) {
        return hints.wmClass;
    }
    if (!hints.wmClassInstance.empty()) {
        return hints.wmClassInstance;
    }
    return std::nullopt;
}

} // namespace korvane
