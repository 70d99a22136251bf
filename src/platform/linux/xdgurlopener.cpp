#include "platform/linux/xdgurlopener.h"

#include "base/diagnostics.h"
#include "platform/linux/childreaper.h"
#include "platform/linux/spawnhandles.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace korvane {

XdgUrlOpener::XdgUrlOpener(std::string program)
    : program_(std::move(program)) {}

bool XdgUrlOpener::isAcceptable(std::string_view url) {
    if (url.empty() || url.front() == '-') {
        return false;
    }
    return std::none_of(url.begin(), url.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool XdgUrlOpener::open(const std::string& url) {
    if (!isAcceptable(url)) {
        return false;
    }
    SpawnFileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);

    SpawnAttributes attributes;
    attributes.startInOwnProcessGroup();

    std::string program = program_;
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    int error = 0;
    {
        // Registered, so that no sweep for leftovers of a command takes this child's status.
        auto spawning = ChildReaper::shared().lockForSpawn();
        error = ::posix_spawnp(&pid, program.c_str(), actions.get(), attributes.get(), argv, environ);
        if (error == 0) {
            ChildReaper::shared().registerChild(pid);
        }
    }
    if (error != 0) {
        errorLog("XdgUrlOpener", "Could not start " + program_ + ": " + std::strerror(error));
        return false;
    }
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        ChildReaper::shared().unregisterChild(pid);
    }).detach();
    return true;
}

} // namespace korvane
