#include "providers/tmuxserverquestions.h"

namespace korvane {

namespace {

std::string keyOf(const TmuxSocket& server) {
    return server.path + '\n' + std::to_string(server.file.device) + ':' + std::to_string(server.file.inode);
}

} // namespace

TmuxServerQuestions::TmuxServerQuestions(std::shared_ptr<ProcessRunner> runner, WorkerPool& pool,
                                         const Clock& clock)
    : questions_(std::move(runner), pool, clock) {}

std::vector<std::optional<std::string>> TmuxServerQuestions::listings(const std::string& tmux,
                                                                      const std::vector<TmuxSocket>& servers,
                                                                      ServerQuestions::Wait* wait) {
    return questions_.answers(questionsTo(tmux, servers), wait);
}

ServerQuestions::Pending TmuxServerQuestions::ask(const std::string& tmux,
                                                  const std::vector<TmuxSocket>& servers,
                                                  ServerQuestions::Wait& wait) {
    return questions_.ask(questionsTo(tmux, servers), wait);
}

std::vector<std::optional<std::string>> TmuxServerQuestions::listings(const ServerQuestions::Pending& asked,
                                                                      const ServerQuestions::Wait& wait) {
    return questions_.answers(asked, wait);
}

std::vector<ServerQuestions::Question>
TmuxServerQuestions::questionsTo(const std::string& tmux, const std::vector<TmuxSocket>& servers) {
    std::vector<ServerQuestions::Question> questions;
    questions.reserve(servers.size());
    for (const TmuxSocket& server : servers) {
        questions.push_back({keyOf(server), request(tmux, server.path)});
    }
    return questions;
}

bool TmuxServerQuestions::isSilent(const TmuxSocket& server) {
    return questions_.isSilent(keyOf(server));
}

ProcessRequest TmuxServerQuestions::request(const std::string& tmux, const std::string& socket) {
    ProcessRequest request;
    request.executable = tmux;
    request.arguments = {"-S", socket, "list-clients", "-F", std::string(listFormat)};
    request.inheritEnvironment = false;
    request.workingDirectory = "/";
    request.timeout = questionTimeout;
    request.killGrace = 0.05;
    request.outputLimit = 64 * 1024;
    return request;
}

} // namespace korvane
