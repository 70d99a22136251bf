#pragma once

#include "files/commandrunner.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Offers the web page, issue list and pull requests of the project's git remote as link snippets.
// The web address is rewritten from the remote's fetch URL to https and never carries the remote's
// user information (a user name, password or access token), query or fragment. There is one only for an
// address git would contact and whose path holds no control character, and it names the host git
// contacts (or the service an SSH alias of it stands for). Stateless apart from its quiet git runner;
// any thread, any number of calls at once.
class GitRemoteProvider final : public SnippetProvider {
public:
    static constexpr double gitTimeout = 2.0;

    explicit GitRemoteProvider(CommandRunner runGit);

    // The origin, issues and pull-requests snippets, as far as they can be made; empty without ".git".
    std::vector<Snippet> snippets(const std::string& root) override;

    // The fetch URL of "origin", else of the first remote git lists.
    std::optional<std::string> originURL(const std::string& root) const;

    static std::optional<std::string> webURL(std::string_view remoteURL);
    static std::optional<std::string> issuesURL(const std::string& web);
    static std::optional<std::string> pullRequestsURL(const std::string& web);
    // The path of the web address without its outer slashes ("owner/repo"), or none.
    static std::optional<std::string> repositoryPath(const std::string& web);

private:
    std::optional<std::string> runGit(const std::vector<std::string>& arguments,
                                      const std::string& root) const;

    const CommandRunner runGit_;
};

} // namespace korvane
