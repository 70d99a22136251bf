#pragma once

#include "platform/fileprobe.h"

#include <map>
#include <set>

namespace korvane {

// An in-memory file tree for tests: directories and files added by absolute path (their parents
// appear with them), a settable home, and a count of every question asked. Main thread.
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
    bool isDirectory(const std::string& path) override;
    std::optional<std::vector<std::string>> listDirectory(const std::string& path) override;
    std::string homeDirectory() override { return home_; }
    std::optional<std::string> homeDirectory(const std::string& name) override;

    // Existence tests and listings since construction or the last reset.
    int accesses() const { return accesses_; }
    void resetAccesses() { accesses_ = 0; }

private:
    std::string home_;
    std::map<std::string, bool> entries_; // path → is a directory
    std::map<std::string, std::string> userHomes_;
    std::set<std::string> unlistable_;
    int accesses_ = 0;
};

} // namespace korvane
