#include "providers/tmuxsocket.h"

#include "gitguard/perprocesspath.h"

#include <filesystem>
#include <sys/stat.h>

namespace korvane {

namespace {

// tmux's options that take a value, as its own option parsing reads them.
constexpr std::string_view kOptionsWithValue = "cfLST";

// `path` taken from the absolute folder `directory`; absent when neither is absolute.
std::optional<std::string> absolute(const std::string& path, const std::string& directory) {
    if (path.starts_with('/')) {
        return path;
    }
    if (!directory.starts_with('/')) {
        return std::nullopt;
    }
    return (directory == "/" ? "" : directory) + "/" + path;
}

// Through /proc or /dev/fd a path names the client's own folders for the client, Korvane's for
// Korvane and the tmux it starts.
bool onePlaceForAll(const std::string& path) {
    return !PerProcessPath().whyNotOnePlace(path, "/");
}

// The values of -S and -L among tmux's options; false when an option lacks its value.
bool socketOptions(const std::vector<std::string>& arguments, std::optional<std::string>& path,
                   std::optional<std::string>& name) {
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--" || argument.size() < 2 || argument.front() != '-') {
            break;
        }
        for (std::size_t letter = 1; letter < argument.size(); ++letter) {
            if (kOptionsWithValue.find(argument[letter]) == std::string_view::npos) {
                continue;
            }
            std::string value;
            if (letter + 1 < argument.size()) {
                value = argument.substr(letter + 1);
            } else if (index + 1 < arguments.size()) {
                value = arguments[++index];
            } else {
                return false;
            }
            if (argument[letter] == 'S') {
                path = std::move(value);
            } else if (argument[letter] == 'L') {
                name = std::move(value);
            }
            break;
        }
    }
    return true;
}

// `path` with every link resolved, where it exists.
std::optional<std::string> existing(const std::string& path) {
    std::error_code error;
    auto resolved = std::filesystem::canonical(path, error);
    return error ? std::nullopt : std::optional(resolved.string());
}

// The folder tmux keeps its users' socket folders in: $TMUX_TMPDIR where it exists, else /tmp. tmux
// takes the variable's value as a path, without expanding "~", from its own folder.
std::optional<std::string> socketRoot(const std::vector<std::string>& environment,
                                      const std::string& directory) {
    if (auto chosen = ProcessTable::variable(environment, "TMUX_TMPDIR"); chosen && !chosen->empty()) {
        const auto path = absolute(*chosen, directory);
        if (!path || !onePlaceForAll(*path)) {
            return std::nullopt;
        }
        if (auto resolved = existing(*path)) {
            return resolved;
        }
    }
    return existing("/tmp/");
}

} // namespace

std::optional<std::string> TmuxSocket::clientPath(const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& environment,
                                                  const std::string& directory, std::uint32_t uid) {
    std::optional<std::string> path;
    std::optional<std::string> name;
    if (arguments.empty() || !socketOptions(arguments, path, name)) {
        return std::nullopt;
    }
    if (path) {
        return absolute(*path, directory);
    }
    if (!name) {
        // A client started inside tmux without naming a socket uses the one it was started in.
        if (auto inside = ProcessTable::variable(environment, "TMUX");
            inside && !inside->empty() && inside->front() != ',') {
            return absolute(inside->substr(0, inside->find(',')), "");
        }
        name = "default";
    }
    const auto root = socketRoot(environment, directory);
    if (!root) {
        return std::nullopt;
    }
    return (*root == "/" ? "" : *root) + "/tmux-" + std::to_string(uid) + "/" + *name;
}

std::optional<TmuxSocket> TmuxSocket::ownedBy(const std::string& path, std::uint32_t uid) {
    if (!onePlaceForAll(path)) {
        return std::nullopt;
    }
    const auto resolved = existing(path);
    struct stat socket {};
    struct stat folder {};
    if (!resolved || ::lstat(resolved->c_str(), &socket) != 0 ||
        ::lstat(std::filesystem::path(*resolved).parent_path().c_str(), &folder) != 0) {
        return std::nullopt;
    }
    // Another user can put a socket in place of the user's only where the folder lets them write in
    // it: one of theirs, or one open to writing, unless sticky as /tmp is (then only the file's owner
    // may replace it). Read and enter bits do not matter, as tmux connects through them.
    const bool folderKept = folder.st_uid == uid || folder.st_uid == 0;
    const bool othersWrite = (folder.st_mode & (S_IWOTH | S_IWGRP)) != 0;
    if (!S_ISSOCK(socket.st_mode) || socket.st_uid != uid || !S_ISDIR(folder.st_mode) || !folderKept ||
        (othersWrite && (folder.st_mode & S_ISVTX) == 0)) {
        return std::nullopt;
    }
    return TmuxSocket{*resolved,
                      {static_cast<std::uint64_t>(socket.st_dev), static_cast<std::uint64_t>(socket.st_ino)}};
}

} // namespace korvane
