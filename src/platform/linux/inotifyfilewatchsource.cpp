#include "platform/linux/inotifyfilewatchsource.h"

#include <algorithm>
#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr std::uint32_t entryChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

std::error_code lastError() {
    return {errno, std::system_category()};
}

// A "write" covers both kinds of object: the contents of a file, the entries of a directory.
std::uint32_t kernelMaskFor(FileEvent mask) {
    std::uint32_t kernel = IN_MASK_ADD;
    if (includes(mask, FileEvent::write)) {
        kernel |= IN_MODIFY | entryChanges;
    }
    if (includes(mask, FileEvent::remove)) {
        // A file that is still open somewhere is reported deleted only when the last descriptor
        // closes; the loss of its last link comes at once, as an attribute change.
        kernel |= IN_DELETE_SELF | IN_ATTRIB;
    }
    if (includes(mask, FileEvent::rename)) {
        kernel |= IN_MOVE_SELF;
    }
    return kernel;
}

// Writes into files inside a watched directory are not changes of the directory itself.
FileEvent eventKind(std::uint32_t kernelMask, bool named) {
    if (named) {
        return (kernelMask & entryChanges) != 0 ? FileEvent::write : FileEvent::none;
    }
    if ((kernelMask & (IN_DELETE_SELF | IN_UNMOUNT)) != 0) {
        return FileEvent::remove;
    }
    if ((kernelMask & IN_MOVE_SELF) != 0) {
        return FileEvent::rename;
    }
    if ((kernelMask & IN_MODIFY) != 0) {
        return FileEvent::write;
    }
    return FileEvent::none;
}

} // namespace

class InotifyFileWatchSource::Watch final : public FileWatch {
public:
    Watch(std::weak_ptr<InotifyFileWatchSource> source, std::uint64_t id)
        : source_(std::move(source))
        , id_(id) {}
    ~Watch() override { cancel(); }

    void cancel() override {
        if (const auto source = source_.lock()) {
            source->cancel(id_);
        }
        source_.reset();
    }

private:
    std::weak_ptr<InotifyFileWatchSource> source_;
    std::uint64_t id_;
};

Expected<std::shared_ptr<InotifyFileWatchSource>, std::error_code>
InotifyFileWatchSource::create(Scheduler& scheduler) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return makeUnexpected(lastError());
    }
    std::shared_ptr<InotifyFileWatchSource> source(new InotifyFileWatchSource(fd));
    source->reader_ = scheduler.watchReadable(fd, [weak = source->weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->readEvents();
        }
    });
    return source;
}

InotifyFileWatchSource::InotifyFileWatchSource(int fd)
    : fd_(fd) {}

InotifyFileWatchSource::~InotifyFileWatchSource() {
    reader_.cancel();
    // Closing the descriptor drops every kernel watch at once.
    ::close(fd_);
}

Expected<std::unique_ptr<FileWatch>, std::error_code>
InotifyFileWatchSource::open(const std::string& path, FileEvent mask, Handler handler) {
    // Taken before the watch: should the path be replaced in between, the new file's next
    // attribute change reports a removal too many, never one too few.
    const auto identity = includes(mask, FileEvent::remove) ? identityAt(path) : std::nullopt;
    const int wd = inotify_add_watch(fd_, path.c_str(), kernelMaskFor(mask));
    if (wd < 0) {
        return makeUnexpected(lastError());
    }
    const std::uint64_t id = nextId_++;
    subscribers_.emplace(id,
                         Subscriber{wd, mask, std::make_shared<Handler>(std::move(handler)), path, identity});
    return std::unique_ptr<FileWatch>(std::make_unique<Watch>(weak_from_this(), id));
}

std::optional<InotifyFileWatchSource::FileIdentity>
InotifyFileWatchSource::identityAt(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{status.st_dev, status.st_ino};
}

// Whether the subscriber's path has stopped naming the file it watches: unlinked, or another file
// renamed over it. Link counts alone would miss the second case when the old file has other links.
bool InotifyFileWatchSource::pathLeft(const Subscriber& subscriber) {
    if (!subscriber.identity) {
        return false;
    }
    struct stat status {};
    if (::stat(subscriber.path.c_str(), &status) != 0) {
        return errno == ENOENT || errno == ENOTDIR;
    }
    return FileIdentity{status.st_dev, status.st_ino} != *subscriber.identity;
}

void InotifyFileWatchSource::cancel(std::uint64_t subscriber) {
    const auto found = subscribers_.find(subscriber);
    if (found == subscribers_.end()) {
        return;
    }
    const int wd = found->second.wd;
    subscribers_.erase(found);
    if (wd < 0) {
        return;
    }
    const bool shared = std::any_of(subscribers_.begin(), subscribers_.end(),
                                    [wd](const auto& entry) { return entry.second.wd == wd; });
    if (!shared) {
        inotify_rm_watch(fd_, wd);
    }
}

void InotifyFileWatchSource::readEvents() {
    std::vector<Delivery> deliveries;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(fd_, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            collect(event->wd, event->mask, event->len > 0 ? event->name : "", deliveries);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    deliver(deliveries);
}

void InotifyFileWatchSource::collect(int wd, std::uint32_t kernelMask, const char* name,
                                     std::vector<Delivery>& deliveries) {
    const bool overflow = (kernelMask & IN_Q_OVERFLOW) != 0;
    const bool named = name[0] != '\0';
    const FileEvent kind = overflow ? FileEvent::write : eventKind(kernelMask, named);
    // A lost event may have been the one telling that a held file was replaced, so an overflow
    // looks at the paths as well.
    const bool checkPath = overflow || (!named && kind == FileEvent::none && (kernelMask & IN_ATTRIB) != 0);
    for (auto& [id, subscriber] : subscribers_) {
        if (!overflow && subscriber.wd != wd) {
            continue;
        }
        // Paths sharing a kernel watch may be links of the same file; each is judged on its own.
        const FileEvent subscriberKind = checkPath && pathLeft(subscriber) ? FileEvent::remove : kind;
        if (subscriberKind != FileEvent::none && includes(subscriber.mask, subscriberKind)) {
            auto batch =
                std::find_if(deliveries.begin(), deliveries.end(),
                             [id = id](const Delivery& delivery) { return delivery.subscriber == id; });
            if (batch == deliveries.end()) {
                batch = deliveries.insert(deliveries.end(), Delivery{id, {}});
            }
            // After an overflow nobody knows which entry changed, so the event names none.
            batch->events.push_back(
                FileWatchEvent{subscriberKind, overflow ? std::string() : std::string(name)});
        }
        if ((kernelMask & IN_IGNORED) != 0) {
            subscriber.wd = -1;
        }
    }
}

void InotifyFileWatchSource::deliver(std::vector<Delivery>& deliveries) {
    for (auto& delivery : deliveries) {
        // Handlers open and cancel watches; one cancelled by an earlier handler gets nothing more.
        const auto found = subscribers_.find(delivery.subscriber);
        if (found == subscribers_.end()) {
            continue;
        }
        const auto handler = found->second.handler;
        (*handler)(delivery.events);
    }
}

} // namespace korvane
