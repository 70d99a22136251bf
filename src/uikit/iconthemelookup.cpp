#include "uikit/iconthemelookup.h"

#include "base/fileio.h"

#include <QIcon>
#include <QImageReader>
#include <algorithm>
#include <charconv>
#include <sstream>
#include <sys/stat.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t maxIndexBytes = 1024 * 1024;

std::vector<fs::path> localFolders(const QStringList& paths) {
    std::vector<fs::path> folders;
    for (const QString& path : paths) {
        // Qt's own resources hold no application icons.
        if (!path.startsWith(':')) {
            folders.emplace_back(path.toStdString());
        }
    }
    return folders;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

int number(const std::string& text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// A theme name joined as one folder name: nothing that could reach another folder.
bool isThemeName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name.find("..") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// The regular file at `path` (a link to one followed) as its device, inode, size and modification
// time; none when there is no such file.
std::optional<std::string> fileStamp(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return std::to_string(status.st_dev) + ':' + std::to_string(status.st_ino) + ':' +
           std::to_string(status.st_size) + ':' + std::to_string(status.st_mtim.tv_sec) + '.' +
           std::to_string(status.st_mtim.tv_nsec);
}

std::vector<std::string> commaList(const std::string& value) {
    std::vector<std::string> entries;
    std::istringstream list(value);
    for (std::string entry; std::getline(list, entry, ',');) {
        entries.push_back(trimmed(entry));
    }
    return entries;
}

// Larger sizes first, the nearest of them; smaller ones only when nothing larger is there.
long distance(int size, int side) {
    return size >= side ? size - side : 100000L + (side - size);
}

} // namespace

IconThemeLookup::IconThemeLookup(std::vector<fs::path> searchPaths, std::vector<std::string> themes,
                                 std::vector<fs::path> pixmapFolders, std::vector<std::string> extensions)
    : searchPaths_(std::move(searchPaths))
    , themes_(std::move(themes))
    , pixmapFolders_(std::move(pixmapFolders))
    , extensions_(std::move(extensions)) {}

IconThemeLookup IconThemeLookup::fromQt() {
    std::vector<std::string> themes;
    for (const QString& theme : {QIcon::themeName(), QIcon::fallbackThemeName(), QStringLiteral("hicolor")}) {
        const std::string name = theme.toStdString();
        if (!name.empty() && std::find(themes.begin(), themes.end(), name) == themes.end()) {
            themes.push_back(name);
        }
    }
    std::vector<std::string> extensions{"png"};
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const char* format : {"svg", "xpm"}) {
        if (formats.contains(format)) {
            extensions.emplace_back(format);
        }
    }
    return IconThemeLookup(localFolders(QIcon::themeSearchPaths()), std::move(themes),
                           localFolders(QIcon::fallbackSearchPaths()), std::move(extensions));
}

std::optional<fs::path> IconThemeLookup::find(const std::string& name, int side) const {
    for (const auto& [theme, index] : searchOrder()) {
        if (auto found = findInTheme(theme, *index, name, side)) {
            return found;
        }
    }
    for (const fs::path& folder : pixmapFolders_) {
        if (auto found = existingFile(folder, name)) {
            return found;
        }
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::shared_ptr<const IconThemeLookup::Theme>>>
IconThemeLookup::searchOrder() const {
    std::vector<std::string> visited{"hicolor"};
    std::vector<std::pair<std::string, std::shared_ptr<const Theme>>> order;
    for (const std::string& configured : themes_) {
        addWithParents(configured, 0, visited, order);
    }
    // Where applications put their own icons, whatever the themes inherit: searched last.
    if (auto hicolor = theme("hicolor")) {
        order.emplace_back("hicolor", std::move(hicolor));
    }
    return order;
}

void IconThemeLookup::addWithParents(
    const std::string& name, std::size_t depth, std::vector<std::string>& visited,
    std::vector<std::pair<std::string, std::shared_ptr<const Theme>>>& order) const {
    if (depth > inheritDepthLimit || visited.size() > themeLimit || !isThemeName(name) ||
        std::find(visited.begin(), visited.end(), name) != visited.end()) {
        return;
    }
    visited.push_back(name);
    std::shared_ptr<const Theme> index = theme(name);
    if (!index) {
        return;
    }
    order.emplace_back(name, index);
    for (const std::string& parent : index->inherits) {
        addWithParents(parent, depth + 1, visited, order);
    }
}

std::shared_ptr<const IconThemeLookup::Theme> IconThemeLookup::theme(const std::string& name) const {
    fs::path indexFile;
    std::optional<std::string> stamp;
    for (const fs::path& base : searchPaths_) {
        indexFile = base / name / "index.theme";
        if ((stamp = fileStamp(indexFile))) {
            break;
        }
    }
    if (!stamp) {
        return nullptr;
    }
    {
        std::lock_guard lock(cache_->lock);
        const auto cached = cache_->themes.find(name);
        if (cached != cache_->themes.end() && cached->second.indexFile == indexFile &&
            cached->second.stamp == *stamp) {
            return cached->second.theme;
        }
    }
    const auto contents = readRegularFile(indexFile, maxIndexBytes);
    auto index = std::make_shared<const Theme>(contents ? parse(*contents) : Theme{});
    std::lock_guard lock(cache_->lock);
    cache_->themes[name] = {indexFile, *stamp, index};
    return index;
}

std::optional<fs::path> IconThemeLookup::findInTheme(const std::string& theme, const Theme& index,
                                                     const std::string& name, int side) const {
    std::optional<fs::path> best;
    long bestDistance = 0;
    for (const fs::path& base : searchPaths_) {
        const fs::path root = base / theme;
        for (const Folder& folder : index.folders) {
            const long away = distance(folder.size, side);
            if (best && away >= bestDistance) {
                continue;
            }
            if (auto found = existingFile(root / folder.path, name)) {
                best = std::move(found);
                bestDistance = away;
            }
        }
    }
    return best;
}

std::optional<fs::path> IconThemeLookup::existingFile(const fs::path& folder, const std::string& name) const {
    for (const std::string& extension : extensions_) {
        fs::path file = folder / (name + "." + extension);
        // A first look only: the loader opens the file without blocking and checks what it opened.
        if (regularFileSize(file)) {
            return file;
        }
    }
    return std::nullopt;
}

// The folders of one size each (scale 1) that a theme's index lists, with their nominal size, and
// the themes it inherits.
IconThemeLookup::Theme IconThemeLookup::parse(const std::string& contents) {
    std::vector<std::string> listed;
    std::map<std::string, int> sizes;
    std::map<std::string, int> scales;
    Theme theme;
    std::istringstream lines(contents);
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = trimmed(std::string_view(line).substr(0, equals));
        const std::string value = trimmed(std::string_view(line).substr(equals + 1));
        if (section == "Icon Theme" && key == "Directories") {
            listed = commaList(value);
        } else if (section == "Icon Theme" && key == "Inherits") {
            theme.inherits = commaList(value);
        } else if (key == "Size") {
            sizes[section] = number(value);
        } else if (key == "Scale") {
            scales[section] = number(value);
        }
    }
    for (const std::string& path : listed) {
        const auto size = sizes.find(path);
        const auto scale = scales.find(path);
        const bool single = scale == scales.end() || scale->second == 1;
        if (size != sizes.end() && single && !path.empty() && path.front() != '/' &&
            path.find("..") == std::string::npos) {
            theme.folders.push_back({path, size->second});
        }
    }
    return theme;
}

} // namespace korvane
