#include "base/fileio.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Owns one file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1)
        : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closes now and reports whether the close succeeded, for writes whose errors surface on close.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

std::string systemError(const fs::path& path, std::string_view action, int error) {
    return fmt::format("Could not {} {}: {}", action, path.string(), std::strerror(error));
}

// Follows a chain of symbolic links to the path that is finally written; a dangling link yields the
// missing file it points to, so the write creates it and the link stays.
Expected<fs::path, std::string> resolveLinks(const fs::path& target) {
    fs::path current = target;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            return current;
        }
        const fs::path link = fs::read_symlink(current, error);
        if (error) {
            return makeUnexpected(systemError(current, "read the link", error.value()));
        }
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return makeUnexpected(systemError(target, "resolve", ELOOP));
}

constexpr std::size_t kTemporaryDigits = 16;
constexpr std::string_view kTemporaryExtension = ".tmp";

std::string temporarySuffix() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    return fmt::format(".{:0{}x}{}", generator(), kTemporaryDigits, kTemporaryExtension);
}

// Whether `name` is one of our temporary names for the file `target`: the target's name, a dot,
// sixteen lower-case hexadecimal digits and ".tmp".
bool isTemporaryName(std::string_view name, std::string_view target) {
    if (name.size() != target.size() + 1 + kTemporaryDigits + kTemporaryExtension.size() ||
        !name.starts_with(target) || name[target.size()] != '.' || !name.ends_with(kTemporaryExtension)) {
        return false;
    }
    const std::string_view digits = name.substr(target.size() + 1, kTemporaryDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Whether the user means the existing file at `path` to be replaced. The rename would succeed on a
// read-only file (only the directory's permissions count), so its mode is checked first. Root may
// write anything, so for root a file without its owner's write bit counts as read-only.
Expected<void, std::string> checkWritable(const fs::path& path, const struct stat& info) {
    if (::geteuid() == 0) {
        if ((info.st_mode & S_IWUSR) == 0) {
            return makeUnexpected(systemError(path, "replace", EACCES));
        }
        return {};
    }
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        return makeUnexpected(systemError(path, "replace", errno));
    }
    return {};
}

// A writer killed between creating its temporary file and renaming it leaves the file behind.
// Once a minute has passed nobody is writing it any more, so the next write of the same target
// removes it. Only regular files with our naming are touched, and any error just leaves them.
void removeStaleTemporaries(const fs::path& destination) {
    constexpr auto staleAfter = std::chrono::minutes(1);
    const fs::path directory = destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    const std::string target = destination.filename().string();
    const auto now = std::chrono::system_clock::now();
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (!isTemporaryName(path.filename().string(), target)) {
            continue;
        }
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const auto modified = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
        if (now - modified > staleAfter) {
            ::unlink(path.c_str());
        }
    }
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Removes the temporary file unless the rename has consumed it.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path)
        : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!committed_) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void commit() { committed_ = true; }

private:
    fs::path path_;
    bool committed_ = false;
};

} // namespace

bool FileReadError::isTransient() const {
    switch (errorNumber) {
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS:
    case EAGAIN:
    case EINTR:
    case EIO:
    case ETIMEDOUT:
    case EBUSY:
        return true;
    default:
        return false;
    }
}

std::optional<std::uint64_t> regularFileSize(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

namespace {

FileReadError systemFailure(const fs::path& path, std::string_view action) {
    const int error = errno;
    return FileReadError{systemError(path, action, error), error};
}

// The regular file at `path` opened for reading, with its status. Looked at before opening, since
// opening a device or a FIFO can block or have effects of its own, and again after, since the path
// may have been replaced in between.
Expected<int, FileReadError> openRegularFile(const fs::path& path, struct stat& info) {
    const auto notRegular = [&path] {
        return makeUnexpected(FileReadError{fmt::format("{} is not a regular file", path.string())});
    };
    if (::stat(path.c_str(), &info) != 0) {
        return makeUnexpected(systemFailure(path, "open"));
    }
    if (!S_ISREG(info.st_mode)) {
        return notRegular();
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        return makeUnexpected(systemFailure(path, "open"));
    }
    if (::fstat(fd.get(), &info) != 0) {
        return makeUnexpected(systemFailure(path, "inspect"));
    }
    if (!S_ISREG(info.st_mode)) {
        return notRegular();
    }
    return fd.release();
}

// Reads the open file `fd` a block at a time into `consume` until it returns false, the file ends
// or `limit` bytes have been handed over.
Expected<void, FileReadError> readBlocks(const fs::path& path, int fd, std::size_t limit,
                                         const std::function<bool(std::string_view)>& consume) {
    char buffer[65536];
    std::size_t total = 0;
    while (total < limit) {
        const ssize_t count = ::read(fd, buffer, std::min(sizeof buffer, limit - total));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return makeUnexpected(systemFailure(path, "read"));
        }
        if (count == 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
        if (!consume(std::string_view(buffer, static_cast<std::size_t>(count)))) {
            break;
        }
    }
    return {};
}

} // namespace

Expected<std::string, FileReadError> readRegularFile(const fs::path& path, std::size_t maxSize) {
    const auto tooLarge = [&] {
        return makeUnexpected(
            FileReadError{fmt::format("Could not read {}: larger than {} bytes", path.string(), maxSize)});
    };
    struct stat info {};
    const auto opened = openRegularFile(path, info);
    if (!opened) {
        return makeUnexpected(opened.error());
    }
    const UniqueFd fd(*opened);
    if (static_cast<std::size_t>(info.st_size) > maxSize) {
        return tooLarge();
    }
    std::string contents;
    // Room for the whole file at once: growing as it is read would hold up to twice its size.
    contents.reserve(static_cast<std::size_t>(info.st_size));
    // At most one byte past the limit is read: enough to tell that a growing file is too large.
    const std::size_t readLimit = maxSize == SIZE_MAX ? maxSize : maxSize + 1;
    const auto read = readBlocks(path, fd.get(), readLimit, [&](std::string_view block) {
        contents.append(block);
        return true;
    });
    if (!read) {
        return makeUnexpected(read.error());
    }
    if (contents.size() > maxSize) {
        return tooLarge();
    }
    return contents;
}

Expected<void, FileReadError> scanRegularFile(const fs::path& path,
                                              const std::function<bool(std::string_view)>& consume) {
    struct stat info {};
    const auto opened = openRegularFile(path, info);
    if (!opened) {
        return makeUnexpected(opened.error());
    }
    const UniqueFd fd(*opened);
    return readBlocks(path, fd.get(), SIZE_MAX, consume);
}

bool resolvesInside(const fs::path& root, const fs::path& path) {
    char resolvedRoot[PATH_MAX];
    char resolvedPath[PATH_MAX];
    if (::realpath(root.c_str(), resolvedRoot) == nullptr ||
        ::realpath(path.c_str(), resolvedPath) == nullptr) {
        return false;
    }
    const std::string_view inside(resolvedPath);
    const std::string_view base(resolvedRoot);
    if (base == "/") {
        return true;
    }
    return inside.size() > base.size() && inside.starts_with(base) && inside[base.size()] == '/';
}

Expected<std::string, std::string> readTextFileInside(const fs::path& root, const fs::path& path,
                                                      std::size_t maxSize) {
    if (!resolvesInside(root, path)) {
        return makeUnexpected(fmt::format("Could not read {}: it leads outside the project", path.string()));
    }
    return readTextFile(path, maxSize);
}

Expected<std::string, std::string> readTextFile(const fs::path& path, std::size_t maxSize) {
    auto contents = readRegularFile(path, maxSize);
    if (!contents) {
        return makeUnexpected(std::move(contents.error().message));
    }
    return std::move(*contents);
}

Expected<void, std::string> makePrivateDirectories(const fs::path& directory) {
    const auto isDirectory = [](const fs::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    };
    fs::path path;
    for (const auto& part : directory) {
        path /= part;
        if (isDirectory(path)) {
            continue;
        }
        // Another program may make the same folder at the same moment.
        if (::mkdir(path.c_str(), 0700) != 0) {
            const int error = errno;
            if (error != EEXIST) {
                return makeUnexpected(systemError(path, "create", error));
            }
            if (!isDirectory(path)) {
                return makeUnexpected(systemError(path, "create", ENOTDIR));
            }
        }
    }
    return {};
}

Expected<void, std::string> writeFileAtomically(const fs::path& target, std::string_view contents) {
    const auto resolved = resolveLinks(target);
    if (!resolved) {
        return makeUnexpected(resolved.error());
    }
    const fs::path& destination = *resolved;

    struct stat existing {};
    const bool hasExisting = ::stat(destination.c_str(), &existing) == 0;
    if (hasExisting && S_ISREG(existing.st_mode)) {
        if (auto writable = checkWritable(destination, existing); !writable) {
            return writable;
        }
    }
    removeStaleTemporaries(destination);

    fs::path temporaryPath;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd.valid(); ++attempt) {
        temporaryPath = destination;
        temporaryPath += temporarySuffix();
        // Mode 0666 lets the umask decide for a new file, as for any other file the user creates.
        fd.reset(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.valid() && errno != EEXIST) {
            return makeUnexpected(systemError(temporaryPath, "create", errno));
        }
    }
    if (!fd.valid()) {
        return makeUnexpected(systemError(temporaryPath, "create", EEXIST));
    }
    TemporaryFile temporary(temporaryPath);

    if (hasExisting && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
        return makeUnexpected(systemError(temporaryPath, "set the permissions of", errno));
    }
    if (!writeAll(fd.get(), contents)) {
        return makeUnexpected(systemError(temporaryPath, "write", errno));
    }
    if (::fsync(fd.get()) != 0) {
        return makeUnexpected(systemError(temporaryPath, "flush", errno));
    }
    if (!fd.close()) {
        return makeUnexpected(systemError(temporaryPath, "close", errno));
    }
    if (::rename(temporaryPath.c_str(), destination.c_str()) != 0) {
        return makeUnexpected(systemError(destination, "replace", errno));
    }
    temporary.commit();

    // The rename is durable only once the directory is flushed; the file is in place either way.
    const fs::path directory = destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    UniqueFd directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.valid()) {
        ::fsync(directoryFd.get());
    }
    return {};
}

} // namespace korvane
