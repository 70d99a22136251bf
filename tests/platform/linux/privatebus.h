#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/types.h>

namespace korvane::test {

// A session bus daemon of the test's own, stopped with it.
class PrivateBus {
public:
    PrivateBus() {
        FILE* pipe = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        char address[512] = {};
        char pid[32] = {};
        if (pipe && std::fgets(address, sizeof address, pipe) && std::fgets(pid, sizeof pid, pipe)) {
            address_ = std::string(address, std::strcspn(address, "\n"));
            pid_ = std::atoi(pid);
        }
        if (pipe) {
            ::pclose(pipe);
        }
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
    }
    const std::string& address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = 0;
};

} // namespace korvane::test
