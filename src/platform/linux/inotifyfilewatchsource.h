#pragma once

#include "base/scheduler.h"
#include "platform/filewatchsource.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

// The FileWatchSource of Linux: one inotify descriptor for all watches, read on the main thread
// through the Scheduler. Paths that name the same file share one kernel watch; each open() is a
// subscriber of its own with its own mask. A watched file counts as removed as soon as its path no
// longer names it, even while another process keeps it open. Main thread only.
class InotifyFileWatchSource final : public FileWatchSource,
                                     public std::enable_shared_from_this<InotifyFileWatchSource> {
public:
    static Expected<std::shared_ptr<InotifyFileWatchSource>, std::error_code> create(Scheduler& scheduler);
    ~InotifyFileWatchSource() override;

    InotifyFileWatchSource(const InotifyFileWatchSource&) = delete;
    InotifyFileWatchSource& operator=(const InotifyFileWatchSource&) = delete;

    Expected<std::unique_ptr<FileWatch>, std::error_code> open(const std::string& path, FileEvent mask,
                                                               Handler handler) override;

private:
    // The file a path named when its watch was opened.
    struct FileIdentity {
        dev_t device;
        ino_t inode;
        bool operator==(const FileIdentity&) const = default;
    };
    struct Subscriber {
        int wd; // -1 once the kernel has dropped the watch
        FileEvent mask;
        std::shared_ptr<Handler> handler;
        std::string path;
        std::optional<FileIdentity> identity; // known when removals are watched
    };
    struct Delivery {
        std::uint64_t subscriber;
        std::vector<FileWatchEvent> events;
    };
    class Watch;

    explicit InotifyFileWatchSource(int fd);

    void readEvents();
    void collect(int wd, std::uint32_t kernelMask, const char* name, std::vector<Delivery>& deliveries);
    void deliver(std::vector<Delivery>& deliveries);
    void cancel(std::uint64_t subscriber);
    static std::optional<FileIdentity> identityAt(const std::string& path);
    static bool pathLeft(const Subscriber& subscriber);

    int fd_;
    CancellationToken reader_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Subscriber> subscribers_;
};

} // namespace korvane
