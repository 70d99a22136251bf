#pragma once

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korvane::bench {

// A terminal for a benchmark: a process that reads a pseudo-terminal until it is stopped, and its
// child, in a session of its own on the other end, running `arguments` (a program's absolute path
// first) with `variables` set and `removed` unset. Stopped with its child when it goes.
class PtyTerminal {
public:
    PtyTerminal(std::vector<std::string> arguments,
                std::vector<std::pair<std::string, std::string>> variables,
                std::vector<std::string> removed = {}) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        const winsize size{24, 80, 0, 0};
        ::ioctl(master, TIOCSWINSZ, &size);
        const std::string device = ::ptsname(master);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::setsid();
                const int slave = ::open(device.c_str(), O_RDWR);
                if (slave < 0) {
                    ::_exit(1);
                }
                ::dup2(slave, 0);
                ::dup2(slave, 1);
                ::dup2(slave, 2);
                for (const auto& [name, value] : variables) {
                    ::setenv(name.c_str(), value.c_str(), 1);
                }
                for (const std::string& name : removed) {
                    ::unsetenv(name.c_str());
                }
                ::execv(argv[0], argv.data());
                ::_exit(1);
            }
            char buffer[4096];
            while (::read(master, buffer, sizeof buffer) > 0 || errno == EINTR) {
            }
            ::kill(child, SIGKILL);
            ::_exit(0);
        }
        ::close(master);
    }
    ~PtyTerminal() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    PtyTerminal(const PtyTerminal&) = delete;
    PtyTerminal& operator=(const PtyTerminal&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

} // namespace korvane::bench
