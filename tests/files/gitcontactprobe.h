#pragma once

#include "platform/linux/uniquefd.h"
#include "support/tempdir.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace korvane::test {

// Asks the real git which host it would contact for a remote address, without any network: ssh and the
// git:// proxy command are recorder scripts that note their arguments and fail, and http(s) goes through
// a proxy on the loopback that notes the host of the request and hangs up. One probe serves many
// addresses, one after another; its listener runs on a thread of its own.
class GitContactProbe {
public:
    GitContactProbe();
    ~GitContactProbe();
    GitContactProbe(const GitContactProbe&) = delete;
    GitContactProbe& operator=(const GitContactProbe&) = delete;

    // The host git contacts for `remote` as its program got it (no user, no port, no brackets), or none
    // when git reached no host.
    std::optional<std::string> contactedHost(const std::string& remote);

private:
    void serve();
    void record(int connection);

    TempDir dir_;
    UniqueFd listener_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::optional<std::string> proxied_;
    std::thread thread_;
};

} // namespace korvane::test
