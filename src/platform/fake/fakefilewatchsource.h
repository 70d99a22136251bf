#pragma once

#include "platform/filewatchsource.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// A FileWatchSource for tests: a path can be opened when it exists on disk, and nothing happens on
// its own; the test injects the events that the system would report. Use from one thread only.
class FakeFileWatchSource final : public FileWatchSource {
public:
    FakeFileWatchSource();

    Expected<std::unique_ptr<FileWatch>, std::error_code> open(const std::string& path, FileEvent mask,
                                                               Handler handler) override;

    // Delivers `events` as one batch to every open watch on `path`, each getting the events its mask
    // asks for; returns how many watches received something.
    std::size_t emit(const std::string& path, const std::vector<FileWatchEvent>& events);
    std::size_t emit(const std::string& path, FileEvent kind, const std::string& name = {});

    // What the system does when the object at `path` is deleted: every watch on it that asks for
    // removals gets one, and then no watch on it hears of anything again, even once a new object
    // appears at the path. Returns how many watches received the removal.
    std::size_t drop(const std::string& path);

    // Open watches on `path`, and on all paths, not counting dropped ones.
    std::size_t watchCount(const std::string& path) const;
    std::size_t watchCount() const;

    // Calls of open() for `path`, successful or not.
    std::size_t openAttempts(const std::string& path) const;

private:
    struct Entry {
        std::string path;
        FileEvent mask;
        std::shared_ptr<Handler> handler;
        bool dropped = false;
    };
    struct Registry {
        std::uint64_t nextId = 1;
        std::map<std::uint64_t, Entry> entries;
    };
    class Watch;

    std::shared_ptr<Registry> registry_;
    std::map<std::string, std::size_t> attempts_;
};

} // namespace korvane
