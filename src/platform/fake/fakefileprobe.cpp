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

} // namespace

FakeFileProbe::FakeFileProbe(std::string home)
    : home_(std::move(home)) {
    entries_["/"] = true;
    addDirectory(home_);
}

void FakeFileProbe::addDirectory(const std::string& path) {
    std::string entry = normalized(path);
    for (std::size_t slash = entry.find('/', 1); slash != std::string::npos; slash = entry.find('/', slash + 1)) {
        entries_[entry.substr(0, slash)] = true;
    }
    entries_[entry] = true;
}

void FakeFileProbe::addFile(const std::string& path) {
    std::string entry = normalized(path);
    std::size_t slash = entry.rfind('/');
    if (slash > 0) {
        addDirectory(entry.substr(0, slash));
    }
    entries_[entry] = false;
}

void FakeFileProbe::remove(const std::string& path) {
    std::string entry = normalized(path);
    entries_.erase(entry);
    std::string prefix = entry + "/";
    for (auto it = entries_.lower_bound(prefix); it != entries_.end() && it->first.starts_with(prefix);) {
        it = entries_.erase(it);
    }
}

bool FakeFileProbe::exists(const std::string& path) {
    ++accesses_;
    return entries_.contains(normalized(path));
}

bool FakeFileProbe::isDirectory(const std::string& path) {
    ++accesses_;
    auto found = entries_.find(normalized(path));
    return found != entries_.end() && found->second;
}

std::optional<std::vector<std::string>> FakeFileProbe::listDirectory(const std::string& path) {
    ++accesses_;
    std::string entry = normalized(path);
    auto found = entries_.find(entry);
    if (found == entries_.end() || !found->second || unlistable_.contains(entry)) {
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
