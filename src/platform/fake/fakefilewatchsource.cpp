#include "platform/fake/fakefilewatchsource.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace korvane {

namespace {

std::string normalized(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

} // namespace

class FakeFileWatchSource::Watch final : public FileWatch {
public:
    Watch(std::weak_ptr<Registry> registry, std::uint64_t id)
        : registry_(std::move(registry))
        , id_(id) {}
    ~Watch() override { cancel(); }

    void cancel() override {
        if (const auto registry = registry_.lock()) {
            registry->entries.erase(id_);
        }
        registry_.reset();
    }

private:
    std::weak_ptr<Registry> registry_;
    std::uint64_t id_;
};

FakeFileWatchSource::FakeFileWatchSource()
    : registry_(std::make_shared<Registry>()) {}

Expected<std::unique_ptr<FileWatch>, std::error_code>
FakeFileWatchSource::open(const std::string& path, FileEvent mask, Handler handler) {
    const std::string key = normalized(path);
    ++attempts_[key];
    std::error_code error;
    if (!std::filesystem::exists(key, error)) {
        return makeUnexpected(std::error_code(ENOENT, std::generic_category()));
    }
    const std::uint64_t id = registry_->nextId++;
    registry_->entries.emplace(id, Entry{key, mask, std::make_shared<Handler>(std::move(handler))});
    return std::unique_ptr<FileWatch>(std::make_unique<Watch>(registry_, id));
}

std::size_t FakeFileWatchSource::emit(const std::string& path, const std::vector<FileWatchEvent>& events) {
    const std::string key = normalized(path);
    std::vector<std::uint64_t> ids;
    for (const auto& [id, entry] : registry_->entries) {
        if (entry.path == key && !entry.dropped) {
            ids.push_back(id);
        }
    }
    std::size_t reached = 0;
    for (const auto id : ids) {
        // A handler may cancel other watches, or its own, while the batch is delivered.
        const auto found = registry_->entries.find(id);
        if (found == registry_->entries.end()) {
            continue;
        }
        std::vector<FileWatchEvent> wanted;
        for (const auto& event : events) {
            if (includes(found->second.mask, event.kind)) {
                wanted.push_back(event);
            }
        }
        if (wanted.empty()) {
            continue;
        }
        ++reached;
        const auto handler = found->second.handler;
        (*handler)(wanted);
    }
    return reached;
}

std::size_t FakeFileWatchSource::emit(const std::string& path, FileEvent kind, const std::string& name) {
    return emit(path, std::vector<FileWatchEvent>{FileWatchEvent{kind, name}});
}

std::size_t FakeFileWatchSource::drop(const std::string& path) {
    const std::size_t reached = emit(path, FileEvent::remove);
    const std::string key = normalized(path);
    for (auto& [id, entry] : registry_->entries) {
        if (entry.path == key) {
            entry.dropped = true;
        }
    }
    return reached;
}

std::size_t FakeFileWatchSource::watchCount(const std::string& path) const {
    const std::string key = normalized(path);
    std::size_t count = 0;
    for (const auto& entry : registry_->entries) {
        if (entry.second.path == key && !entry.second.dropped) {
            ++count;
        }
    }
    return count;
}

std::size_t FakeFileWatchSource::watchCount() const {
    return static_cast<std::size_t>(std::count_if(registry_->entries.begin(), registry_->entries.end(),
                                                  [](const auto& entry) { return !entry.second.dropped; }));
}

std::size_t FakeFileWatchSource::openAttempts(const std::string& path) const {
    const auto found = attempts_.find(normalized(path));
    return found == attempts_.end() ? 0 : found->second;
}

} // namespace korvane
