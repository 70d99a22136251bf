#include "uikit/iconthemelookup.h"

#include "base/fileio.h"

#include <QIcon>
#include <QImageReader>
#include <algorithm>
#include <charconv>
#include <map>
#include <sstream>

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
    for (const std::string& theme : themes_) {
        if (auto found = findInTheme(theme, name, side)) {
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

std::optional<fs::path> IconThemeLookup::findInTheme(const std::string& theme, const std::string& name,
                                                     int side) const {
    std::optional<fs::path> best;
    long bestDistance = 0;
    for (const fs::path& base : searchPaths_) {
        const fs::path root = base / theme;
        for (const Folder& folder : folders(root / "index.theme")) {
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

// The folders of one size each (scale 1) that a theme's index lists, with their nominal size.
std::vector<IconThemeLookup::Folder> IconThemeLookup::folders(const fs::path& indexFile) {
    const auto contents = readRegularFile(indexFile, maxIndexBytes);
    if (!contents) {
        return {};
    }
    std::vector<std::string> listed;
    std::map<std::string, int> sizes;
    std::map<std::string, int> scales;
    std::istringstream lines(*contents);
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
            std::istringstream entries(value);
            for (std::string entry; std::getline(entries, entry, ',');) {
                listed.push_back(trimmed(entry));
            }
        } else if (key == "Size") {
            sizes[section] = number(value);
        } else if (key == "Scale") {
            scales[section] = number(value);
        }
    }
    std::vector<Folder> result;
    for (const std::string& path : listed) {
        const auto size = sizes.find(path);
        const auto scale = scales.find(path);
        const bool single = scale == scales.end() || scale->second == 1;
        if (size != sizes.end() && single && !path.empty() && path.front() != '/' &&
            path.find("..") == std::string::npos) {
            result.push_back({path, size->second});
        }
    }
    return result;
}

} // namespace korvane
