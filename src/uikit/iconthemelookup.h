#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Finds the file of a named icon as the desktop's icon themes lay them out: in each theme, in order,
// the folders its index.theme lists, the one nearest the wanted size (larger preferred); then the
// plain pixmap folders. The name is only ever joined as a file name: callers refuse names holding
// "/" or "..". Made on the main thread from Qt's icon settings; read only, any thread.
class IconThemeLookup {
public:
    IconThemeLookup(std::vector<std::filesystem::path> searchPaths, std::vector<std::string> themes,
                    std::vector<std::filesystem::path> pixmapFolders, std::vector<std::string> extensions);

    // Qt's icon search folders, the current theme with its fallback, and the image formats the reader
    // can decode. Main thread.
    static IconThemeLookup fromQt();

    std::optional<std::filesystem::path> find(const std::string& name, int side) const;

private:
    struct Folder {
        std::string path;
        int size = 0;
    };

    std::optional<std::filesystem::path> findInTheme(const std::string& theme, const std::string& name,
                                                     int side) const;
    std::optional<std::filesystem::path> existingFile(const std::filesystem::path& folder,
                                                      const std::string& name) const;
    static std::vector<Folder> folders(const std::filesystem::path& indexFile);

    std::vector<std::filesystem::path> searchPaths_;
    std::vector<std::string> themes_;
    std::vector<std::filesystem::path> pixmapFolders_;
    std::vector<std::string> extensions_;
};

} // namespace korvane
