#pragma once

#include "platform/fake/fakeclock.h"
#include "platform/processrunner.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace korvane::test {

// tmux servers by the socket a question names (`-S <socket>`): each answers list-clients with its
// listing after the virtual seconds it takes, or fails as tmux does where no server listens; a
// question that takes its whole time limit is cut off. Any socket not named here has no server.
class FakeTmuxServers final : public ProcessRunner {
public:
    explicit FakeTmuxServers(FakeClock* clock = nullptr)
        : clock_(clock) {}

    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override {
        requests_.push_back(request);
        ProcessResult result;
        const auto server =
            request.arguments.size() > 1 ? servers_.find(request.arguments[1]) : servers_.end();
        if (server == servers_.end() || !server->second.listing) {
            result.status = 1;
            return result;
        }
        if (clock_ != nullptr) {
            clock_->advance(std::min(server->second.seconds, request.timeout));
        }
        if (server->second.seconds >= request.timeout) {
            result.ending = ProcessResult::Ending::timedOut;
            result.status = 15;
        } else {
            result.output = *server->second.listing;
        }
        return result;
    }

    void respond(const std::string& socket, std::string listing, double seconds = 0) {
        servers_[socket] = Server{std::move(listing), seconds};
    }
    void refuse(const std::string& socket) { servers_[socket] = Server{}; }

    const std::vector<ProcessRequest>& requests() const { return requests_; }
    std::size_t asked(const std::string& socket) const {
        return static_cast<std::size_t>(
            std::count_if(requests_.begin(), requests_.end(), [&](const auto& request) {
                return request.arguments.size() > 1 && request.arguments[1] == socket;
            }));
    }

private:
    struct Server {
        std::optional<std::string> listing;
        double seconds = 0;
    };
    FakeClock* clock_;
    std::map<std::string, Server> servers_;
    std::vector<ProcessRequest> requests_;
};
} // namespace korvane::test
