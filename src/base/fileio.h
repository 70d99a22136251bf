#pragma once

#include "base/expected.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// Files we read are small text files; anything larger is refused rather than loaded whole.
inline constexpr std::size_t kMaxTextFileSize = 16 * 1024 * 1024;

// Why a file could not be read: a message naming the path and the reason, and the errno value of
// the call that failed (0 when the file itself was refused: not a regular file, or too large).
struct FileReadError {
    std::string message;
    int errorNumber = 0;

    // Whether trying again later may succeed: the process or system ran out of descriptors or
    // memory, or the storage did not answer.
    bool isTransient() const;
};

// The size of the regular file at `path` (a symbolic link to one is followed); nothing for a missing
// path, a directory, a FIFO, a device or a socket.
std::optional<std::uint64_t> regularFileSize(const std::filesystem::path& path);

// Reads a whole regular file (a symbolic link to one is followed). Never opens or blocks on a FIFO or
// device: such files are refused, and a file that grows past `maxSize` while it is read is refused
// after at most `maxSize` + 1 bytes.
Expected<std::string, FileReadError> readRegularFile(const std::filesystem::path& path,
                                                     std::size_t maxSize = kMaxTextFileSize);

// Reads a regular file as readRegularFile does, but a block at a time, handing each block to
// `consume` until it returns false or the file ends; for a file searched rather than held.
Expected<void, FileReadError> scanRegularFile(const std::filesystem::path& path,
                                              const std::function<bool(std::string_view)>& consume);

// Whether `path`, with every link resolved, names something inside the directory `root` (also resolved).
// A project's files are read only when they are: a committed link to ~/.aws/credentials is not the
// project's own file.
bool resolvesInside(const std::filesystem::path& root, const std::filesystem::path& path);

// readRegularFile of a project's file, refused (as not found) when the file resolves outside `root`.
Expected<std::string, std::string> readTextFileInside(const std::filesystem::path& root,
                                                      const std::filesystem::path& path,
                                                      std::size_t maxSize = kMaxTextFileSize);

// readRegularFile with the error's message alone.
Expected<std::string, std::string> readTextFile(const std::filesystem::path& path,
                                                std::size_t maxSize = kMaxTextFileSize);

// Creates `directory` and every missing folder above it, each new one private to the user (0700),
// as the folders Korvane keeps its files in are created on demand. Folders that exist are left as
// they are, a link to a folder included.
Expected<void, std::string> makePrivateDirectories(const std::filesystem::path& directory);

// Replaces `target` with `contents` so that a reader sees either the old or the new file: the bytes
// go to a temporary file in the same directory, are flushed to disk and renamed over the target.
// A symbolic link is written through (its final target is replaced and the link kept), an existing
// file keeps its permission bits, and on any failure the temporary file is removed. Temporary files
// of the same target that a killed writer left behind more than a minute ago are removed too. A
// target the user cannot write (for root: one without its owner's write bit) is refused.
Expected<void, std::string> writeFileAtomically(const std::filesystem::path& target,
                                                std::string_view contents);

} // namespace korvane
