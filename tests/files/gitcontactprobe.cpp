#include "gitcontactprobe.h"

#include "gitguard/gitprogramoverrides.h"
#include "platform/linux/linuxprocessrunner.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace korvane::test {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// A script that writes its arguments, one a line, to `record` and fails.
std::string recorder(const std::filesystem::path& record) {
    return "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.string() + "'\nexit 1\n";
}

std::string withoutBrackets(std::string host) {
    return host.size() > 1 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2)
                                                                        : host;
}

// The host of a "Host:" value: without its port, and an IPv6 literal without its brackets.
std::string hostOfHeader(const std::string& value) {
    if (value.starts_with('[')) {
        return withoutBrackets(value.substr(0, value.find(']') + 1));
    }
    return value.substr(0, value.rfind(':'));
}

} // namespace

GitContactProbe::GitContactProbe() {
    for (const char* name : {"ssh", "proxy"}) {
        const auto script = dir_.write(std::string(name) + "-recorder", recorder(dir_.path() / name));
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }
    listener_ = UniqueFd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!listener_.valid() || bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_.get(), 8) != 0 ||
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no loopback listener");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

GitContactProbe::~GitContactProbe() {
    stopping_ = true;
    thread_.join();
}

void GitContactProbe::serve() {
    while (!stopping_) {
        pollfd ready{listener_.get(), POLLIN, 0};
        if (poll(&ready, 1, 50) > 0) {
            if (const UniqueFd connection(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
                connection.valid()) {
                record(connection.get());
            }
        }
    }
}

// Reads the request head for up to two seconds and notes the host it asks for.
void GitContactProbe::record(int connection) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{connection, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            continue;
        }
        const ssize_t count = read(connection, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        head.append(buffer, static_cast<std::size_t>(count));
    }
    const std::size_t header = head.find("\r\nHost: ");
    if (header != std::string::npos) {
        const std::size_t start = header + 8;
        const std::lock_guard lock(mutex_);
        proxied_ = hostOfHeader(head.substr(start, head.find("\r\n", start) - start));
    }
}

std::optional<std::string> GitContactProbe::contactedHost(const std::string& remote) {
    const auto sshRecord = dir_.path() / "ssh";
    const auto proxyRecord = dir_.path() / "proxy";
    std::filesystem::remove(sshRecord);
    std::filesystem::remove(proxyRecord);
    {
        const std::lock_guard lock(mutex_);
        proxied_.reset();
    }
    ProcessRequest request;
    request.executable = GitProgramOverrides::gitExecutable;
    request.arguments = {"-c", "http.proxy=http://127.0.0.1:" + std::to_string(port_), "ls-remote", "--",
                         remote};
    request.workingDirectory = dir_.path().string();
    request.environment = {
        {"HOME", dir_.path().string()},
        {"GIT_CONFIG_NOSYSTEM", "1"},
        {"GIT_CONFIG_GLOBAL", "/dev/null"},
        {"GIT_CEILING_DIRECTORIES", dir_.path().parent_path().string()},
        {"GIT_TERMINAL_PROMPT", "0"},
        {"GIT_SSH", (dir_.path() / "ssh-recorder").string()},
        // The variant that takes a port, so that an address with one still reaches the recorder.
        {"GIT_SSH_VARIANT", "ssh"},
        {"GIT_PROXY_COMMAND", (dir_.path() / "proxy-recorder").string()},
    };
    request.removedEnvironment = {"GIT_SSH_COMMAND", "GIT_DIR",     "GIT_ALLOW_PROTOCOL", "http_proxy",
                                  "https_proxy",     "HTTPS_PROXY", "all_proxy",          "ALL_PROXY",
                                  "no_proxy",        "NO_PROXY"};
    request.timeout = 5.0;
    LinuxProcessRunner().run(request);

    if (const auto ssh = lines(readFile(sshRecord)); ssh.size() >= 2) {
        // ssh options, then user "@" host, then the command to run there.
        const std::string& destination = ssh[ssh.size() - 2];
        return destination.substr(destination.rfind('@') + 1);
    }
    if (const auto proxy = lines(readFile(proxyRecord)); !proxy.empty()) {
        return proxy.front();
    }
    const std::lock_guard lock(mutex_);
    return proxied_;
}

} // namespace korvane::test
