#pragma once

#include <filesystem>
#include <string>

namespace korvane::test {

// A fresh directory under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `contents` to `relative` below the directory, creating parent folders; returns the full path.
    std::filesystem::path write(const std::string& relative, const std::string& contents) const;

private:
    std::filesystem::path path_;
};

// The whole contents of a file, or "" when it cannot be read.
std::string readFile(const std::filesystem::path& path);

} // namespace korvane::test
