#include "platform/linux/desktopfileindex.h"

#include "base/fileio.h"
#include "base/unicode.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <unordered_set>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// A desktop file is a few kilobytes; anything much larger is not one worth reading.
constexpr std::size_t maxDesktopFileSize = 64 * 1024;
// Applications sit at most three levels below an applications folder; deeper trees are not walked.
constexpr int maxFolderDepth = 3;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default:
            out += '\\';
            out += value[i];
        }
    }
    return out;
}

bool sameTime(const std::timespec& a, const std::timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

const DesktopEntry* lookUp(const std::vector<DesktopEntry>& entries,
                           const std::unordered_map<std::string, std::size_t>& table, std::string key) {
    auto found = table.find(key);
    return found == table.end() ? nullptr : &entries[found->second];
}

} // namespace

const DesktopEntry* DesktopFileIndex::Snapshot::byID(std::string_view id) const {
    return lookUp(entries, ids_, std::string(id));
}

const DesktopEntry* DesktopFileIndex::Snapshot::byStartupWMClass(std::string_view wmClass) const {
    return lookUp(entries, wmClasses_, std::string(wmClass));
}

const DesktopEntry* DesktopFileIndex::Snapshot::byIDIgnoringCase(std::string_view id) const {
    return lookUp(entries, foldedIDs_, asciiLowercased(std::string(id)));
}

const DesktopEntry* DesktopFileIndex::Snapshot::byStartupWMClassIgnoringCase(std::string_view wmClass) const {
    return lookUp(entries, foldedWMClasses_, asciiLowercased(std::string(wmClass)));
}

void DesktopFileIndex::Snapshot::buildTables() {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DesktopEntry& entry = entries[i];
        // emplace keeps the first entry for a key: the earlier folder, then the lower ID.
        ids_.emplace(entry.id, i);
        foldedIDs_.emplace(asciiLowercased(entry.id), i);
        if (!entry.startupWMClass.empty()) {
            wmClasses_.emplace(entry.startupWMClass, i);
            foldedWMClasses_.emplace(asciiLowercased(entry.startupWMClass), i);
        }
    }
}

DesktopFileIndex::DesktopFileIndex(std::vector<fs::path> dataDirs) {
    for (const fs::path& dir : dataDirs) {
        applicationDirs_.push_back(dir / "applications");
    }
}

std::vector<fs::path> DesktopFileIndex::xdgDataDirs() {
    std::vector<fs::path> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome == '/') {
        dirs.emplace_back(dataHome);
    } else if (home && *home) {
        dirs.push_back(fs::path(home) / ".local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string_view list = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    while (!list.empty()) {
        auto colon = list.find(':');
        std::string_view dir = list.substr(0, colon);
        // Relative entries are invalid in the list and would depend on the working directory.
        if (!dir.empty() && dir.front() == '/') {
            dirs.emplace_back(dir);
        }
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    return dirs;
}

std::shared_ptr<const DesktopFileIndex::Snapshot> DesktopFileIndex::snapshot() {
    {
        std::lock_guard lock(mutex_);
        if (snapshot_ && !changed()) {
            return snapshot_;
        }
    }
    rebuild();
    std::lock_guard lock(mutex_);
    return snapshot_;
}

std::optional<DesktopEntry> DesktopFileIndex::parse(std::string_view contents, std::string id) {
    std::unordered_map<std::string, std::string> keys;
    bool inEntry = false;
    bool seenEntry = false;
    while (!contents.empty()) {
        auto newline = contents.find('\n');
        std::string_view line = trimmed(contents.substr(0, newline));
        contents = newline == std::string_view::npos ? std::string_view() : contents.substr(newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line = trimmed(line.substr(0, line.size() - 1));
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (seenEntry) {
                break;
            }
            inEntry = line == "[Desktop Entry]";
            seenEntry = inEntry;
            continue;
        }
        auto equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) {
            continue;
        }
        std::string key(trimmed(line.substr(0, equals)));
        // Localised values ("Name[de]") are not used; a repeated key keeps its first value.
        if (key.find('[') == std::string::npos) {
            keys.emplace(std::move(key), unescaped(trimmed(line.substr(equals + 1))));
        }
    }
    auto value = [&](const char* key) {
        auto found = keys.find(key);
        return found == keys.end() ? std::string() : found->second;
    };
    // Desktop files are UTF-8; an entry that is not would reach the settings file as bytes no JSON
    // writer takes.
    if (value("Type") != "Application" || value("Hidden") == "true" || value("Name").empty() ||
        !isValidUtf8(value("Name")) || !isValidUtf8(id)) {
        return std::nullopt;
    }
    return DesktopEntry{std::move(id),          value("Name"),     value("Icon"), value("Exec"),
                        value("StartupWMClass"), value("NoDisplay") == "true"};
}

std::timespec DesktopFileIndex::modificationTime(const fs::path& path, bool& exists) {
    struct stat status {};
    exists = ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    return exists ? status.st_mtim : std::timespec{};
}

bool DesktopFileIndex::changed() const {
    for (const FolderStamp& stamp : stamps_) {
        bool exists = false;
        std::timespec modified = modificationTime(stamp.path, exists);
        if (exists != stamp.exists || !sameTime(modified, stamp.modified)) {
            return true;
        }
    }
    return false;
}

void DesktopFileIndex::rebuild() {
    // The folders are stamped before they are read, so a change during the walk shows next time.
    std::vector<FolderStamp> stamps;
    auto snapshot = std::make_shared<Snapshot>();
    std::unordered_set<std::string> seenIDs;
    for (const fs::path& dir : applicationDirs_) {
        FolderStamp top{dir};
        top.modified = modificationTime(dir, top.exists);
        stamps.push_back(top);
        if (!top.exists) {
            continue;
        }
        std::vector<std::pair<std::string, fs::path>> files;
        std::error_code error;
        for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            std::error_code typeError;
            if (it->is_directory(typeError)) {
                // Links to folders are not followed (no loops); nor are folders too deep to hold one.
                if (it.depth() + 1 >= maxFolderDepth) {
                    it.disable_recursion_pending();
                    continue;
                }
                FolderStamp sub{it->path()};
                sub.modified = modificationTime(it->path(), sub.exists);
                stamps.push_back(sub);
                continue;
            }
            const fs::path& path = it->path();
            if (path.extension() != ".desktop") {
                continue;
            }
            std::string id = path.lexically_relative(dir).replace_extension().generic_string();
            std::replace(id.begin(), id.end(), '/', '-');
            files.emplace_back(std::move(id), path);
        }
        std::sort(files.begin(), files.end());
        for (auto& [id, path] : files) {
            // The first folder to hold an ID decides it, even when its file hides the application.
            if (!seenIDs.insert(id).second) {
                continue;
            }
            auto contents = readTextFile(path, maxDesktopFileSize);
            if (!contents) {
                continue;
            }
            if (auto entry = parse(*contents, id)) {
                entry->path = path.string();
                snapshot->entries.push_back(std::move(*entry));
            }
        }
    }
    snapshot->buildTables();
    std::lock_guard lock(mutex_);
    stamps_ = std::move(stamps);
    snapshot_ = std::move(snapshot);
}

} // namespace korvane
