#include "platform/fake/fakefileprobe.h"

#include <filesystem>

namespace korvane {

namespace {

// Resolves "." and ".." the way the system does for a tree without links.
std::string normalized(const std::string& spelled) {
    std::string path = std::filesystem::path(spelled).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string parentOf(const std::string& entry) {
    const std::size_t slash = entry.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : entry.substr(0, slash);
}

} // namespace

FakeFileProbe::FakeFileProbe(std::string home)
    : home_(std::move(home)) {
    entries_["/"] = Entry{true, ++inodes_, 0};
    addDirectory(home_);
}

void FakeFileProbe::make(const std::string& path, bool directory) {
    auto found = entries_.find(path);
    if (found != entries_.end() && found->second.directory == directory) {
        return;
    }
    entries_[path] = Entry{directory, ++inodes_, 0};
    changed(parentOf(path));
}

void FakeFileProbe::changed(const std::string& directory) {
    if (auto found = entries_.find(directory); found != entries_.end()) {
        ++found->second.changes;
    }
}

void FakeFileProbe::addDirectory(const std::string& path) {
    std::string entry = normalized(path);
    for (std::size_t slash = entry.find('/', 1); slash != std::string::npos; slash = entry.find('/', slash + 1)) {
        make(entry.substr(0, slash), true);
    }
    make(entry, true);
}

void FakeFileProbe::addFile(const std::string& path) {
    std::string entry = normalized(path);
    std::size_t slash = entry.rfind('/');
    if (slash > 0) {
        addDirectory(entry.substr(0, slash));
    }
    make(entry, false);
}

void FakeFileProbe::remove(const std::string& path) {
    std::string entry = normalized(path);
    if (entries_.erase(entry) > 0) {
        changed(parentOf(entry));
    }
    std::string prefix = entry + "/";
    for (auto it = entries_.lower_bound(prefix); it != entries_.end() && it->first.starts_with(prefix);) {
        it = entries_.erase(it);
    }
}

bool FakeFileProbe::exists(const std::string& path) {
    ++accesses_;
    return entries_.contains(normalized(path));
}

// The tree holds no links.
bool FakeFileProbe::entryExists(const std::string& path) {
    return exists(path);
}

bool FakeFileProbe::isDirectory(const std::string& path) {
    ++accesses_;
    auto found = entries_.find(normalized(path));
    return found != entries_.end() && found->second.directory;
}

std::optional<PathStamp> FakeFileProbe::changeStamp(const std::string& path) {
    ++accesses_;
    auto found = entries_.find(normalized(path));
    if (found == entries_.end() || !found->second.directory) {
        return std::nullopt;
    }
    const Entry& entry = found->second;
    const PathStamp::Entry stamp{
        .device = 1, .inode = entry.inode, .modified = entry.changes, .changed = entry.changes};
    return PathStamp{stamp, stamp};
}

std::optional<std::vector<std::string>> FakeFileProbe::listDirectory(const std::string& path) {
    ++accesses_;
    std::string entry = normalized(path);
    auto found = entries_.find(entry);
    if (found == entries_.end() || !found->second.directory || unlistable_.contains(entry)) {
        return std::nullopt;
    }
    std::string prefix = entry == "/" ? "/" : entry + "/";
    std::vector<std::string> names;
    for (auto it = entries_.lower_bound(prefix); it != entries_.end() && it->first.starts_with(prefix); ++it) {
        std::string rest = it->first.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos) {
            names.push_back(rest);
        }
    }
    return names;
}

std::optional<std::string> FakeFileProbe::homeDirectory(const std::string& name) {
    auto found = userHomes_.find(name);
    return found == userHomes_.end() ? std::nullopt : std::optional(found->second);
}

} // namespace korvane
