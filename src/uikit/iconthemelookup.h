#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Finds the file of a named icon as the desktop's icon themes lay them out: the current theme, the
// themes it inherits (its index.theme's Inherits=, depth first, each theme once), then the fallback
// theme and its own, and "hicolor" last; in each theme the folders its index.theme lists, the one
// nearest the wanted size (larger preferred), below every search folder; then the plain pixmap
// folders. Each index.theme is read once and again only when its file changes. The icon name is only
// ever joined as a file name: callers refuse names holding "/" or ".."; theme names holding them are
// passed over. Made on the main thread from Qt's icon settings; `find` from any thread.
class IconThemeLookup {
public:
    // How far below a configured theme inherited themes are followed, and how many themes at most
    // are searched for one icon.
    static constexpr std::size_t inheritDepthLimit = 8;
    static constexpr std::size_t themeLimit = 32;

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
    // What a theme's index.theme says.
    struct Theme {
        std::vector<Folder> folders;
        std::vector<std::string> inherits;
    };
    // The read themes, each with the file it was read from and that file's stamp; shared by the
    // threads that look icons up, guarded by `lock`, which is never held while a file is read.
    struct Cache {
        struct Entry {
            std::filesystem::path indexFile;
            std::string stamp;
            std::shared_ptr<const Theme> theme;
        };
        std::mutex lock;
        std::map<std::string, Entry> themes;
    };

    // The themes to search, in order, each with what its index says.
    std::vector<std::pair<std::string, std::shared_ptr<const Theme>>> searchOrder() const;
    void addWithParents(const std::string& name, std::size_t depth, std::vector<std::string>& visited,
                        std::vector<std::pair<std::string, std::shared_ptr<const Theme>>>& order) const;
    // The theme's index as read from the first search folder that holds one; none without one.
    std::shared_ptr<const Theme> theme(const std::string& name) const;
    std::optional<std::filesystem::path> findInTheme(const std::string& theme, const Theme& index,
                                                     const std::string& name, int side) const;
    std::optional<std::filesystem::path> existingFile(const std::filesystem::path& folder,
                                                      const std::string& name) const;
    static Theme parse(const std::string& contents);

    std::vector<std::filesystem::path> searchPaths_;
    std::vector<std::string> themes_;
    std::vector<std::filesystem::path> pixmapFolders_;
    std::vector<std::string> extensions_;
    std::unique_ptr<Cache> cache_ = std::make_unique<Cache>();
};

} // namespace korvane
