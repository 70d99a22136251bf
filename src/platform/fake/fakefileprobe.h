#pragma once

#include "platform/fileprobe.h"

#include <map>
#include <set>

namespace korvane {

// An in-memory file tree for tests: directories and files added by absolute path (their parents
// appear with them), a settable home, and a count of every question asked. A directory's stamp
// changes with every name made or removed in it. Main thread.
class FakeFileProbe final : public FileProbe {
public:
    explicit FakeFileProbe(std::string home = "/home/user");

    void addDirectory(const std::string& path);
    void addFile(const std::string& path);
    // Removes the entry and everything below it.
    void remove(const std::string& path);
    void setUserHome(const std::string& name, std::string home) { userHomes_[name] = std::move(home); }
    // Makes listing `path` fail while it still exists.
    void setUnlistable(const std::string& path) { unlistable_.insert(path); }

    bool exists(const std::string& path) override;
    bool entryExists(const std::string& path) override;
    bool isDirectory(const std::string& path) override;
    std::optional<PathStamp> changeStamp(const std::string& path) override;
    std::optional<std::vector<std::string>> listDirectory(const std::string& path) override;
    std::string homeDirectory() override { return home_; }
    std::optional<std::string> homeDirectory(const std::string& name) override;

    // Existence tests and listings since construction or the last reset.
    int accesses() const { return accesses_; }
    void resetAccesses() { accesses_ = 0; }

private:
    struct Entry {
        bool directory = false;
        std::uint64_t inode = 0;
        // Names made or removed in the directory.
        std::int64_t changes = 0;
    };
    // Makes `path` (normalised) a directory or a file, as a new entry unless it is one already.
    void make(const std::string& path, bool directory);
    void changed(const std::string& directory);

    std::string home_;
    std::map<std::string, Entry> entries_;
    std::uint64_t inodes_ = 0;
    std::map<std::string, std::string> userHomes_;
    std::set<std::string> unlistable_;
    int accesses_ = 0;
};

} // namespace korvane
