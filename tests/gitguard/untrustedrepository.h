#pragma once

#include "files/gitrepo.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/customprovider.h"
#include "providers/shellcommandrunner.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"

#include <cstdlib>
#include <filesystem>
#include <gmock/gmock.h>
#include <string>
#include <vector>

namespace korvane::test {

// The user's own command from the global configuration, started in a downloaded repository the user
// has not trusted, as a global custom provider starts it.
class UntrustedRepository {
public:
    UntrustedRepository() {
        repo.write("a.txt", "one\n");
        repo.sh("git add -A && git commit -qm one");
    }

    // Runs `command` in the repository (or in its `folder`) as the global provider "mine" would.
    void runAsGlobalProvider(const std::string& command, CommandTrust trust = {},
                             const std::string& folder = "") const {
        CustomProviderConfig config;
        config.id = "mine";
        config.label = "Mine";
        config.command = command;
        CustomProvider(config, std::make_shared<ShellCommandRunner>(std::make_shared<LinuxProcessRunner>()),
                       std::move(trust))
            .snippets(folder.empty() ? repo.root() : (repo.path() / folder).string());
    }
    // `text` with MARK standing for a command that leaves the marker, MARKPATH for its path.
    std::string marking(std::string text) const {
        for (auto at = text.find("MARKPATH"); at != std::string::npos; at = text.find("MARKPATH")) {
            text.replace(at, 8, marker.string());
        }
        for (auto at = text.find("MARK"); at != std::string::npos; at = text.find("MARK")) {
            text.replace(at, 4, "touch '" + marker.string() + "'");
        }
        return text;
    }
    bool marked() const { return std::filesystem::exists(marker); }
    bool ran() const { return std::filesystem::exists(repo.path() / "ran"); }

    // The repository points HOME at a folder of its own; the other tests keep theirs.
    const test::ScopedEnv home{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem{"GIT_CONFIG_NOSYSTEM", std::getenv("GIT_CONFIG_NOSYSTEM")};
    test::GitRepo repo;
    const std::filesystem::path marker = repo.path() / "marker";
};

// A way for a folder to make git run a program: shown to run the marker under plain git, then run by
// the user's command without it running. Where the folder's configuration names what git would run,
// the command waits for trust and its line names that setting; where nothing of the configuration
// does (hooks that came with the download, an address of .gitmodules), it runs.
struct Route {
    std::string name;
    std::string setup; // run in the repository; MARK leaves the marker
    std::string command;
    // What the line of a command that does not run names; empty where the command runs.
    std::string named;
    // The project's folder below the repository's top, where the command starts; empty for the top.
    std::string folder;
};

// Every path of the folder `root` that the reason in `line` names as a word of its own is there (as a
// file, a folder or a link), as the reading saw it; a name shown with escapes is not looked at.
inline void expectNamesOnlyWhatIsThere(const std::string& line, const std::string& root) {
    const std::size_t start = line.find(" error=");
    const std::string reason = line.substr(start, line.find("; trusting the folder") - start);
    for (std::size_t at = reason.find(root); at != std::string::npos; at = reason.find(root, at + 1)) {
        const std::size_t end = reason.find_first_of(" ,;:'\"", at);
        const std::string path = reason.substr(at, end == std::string::npos ? end : end - at);
        if ((reason[at - 1] != ' ' && reason[at - 1] != '=') || path.find('\\') != std::string::npos) {
            continue;
        }
        std::error_code error;
        EXPECT_NE(std::filesystem::symlink_status(path, error).type(), std::filesystem::file_type::not_found)
            << path << " is named but not there: " << reason;
    }
}

// Each route is set up twice, so that what the first run leaves behind cannot close the second.
inline void expectClosed(const std::vector<Route>& routes) {
    for (const auto& route : routes) {
        SCOPED_TRACE(route.name);
        const UntrustedRepository plain;
        ASSERT_TRUE(plain.repo.sh(plain.marking(route.setup + " && rm -f MARKPATH"))) << route.setup;
        const std::string into = route.folder.empty() ? "" : "cd '" + route.folder + "' && ";
        plain.repo.sh(into + "{ " + route.command + "; } >/dev/null 2>&1 </dev/null");
        ASSERT_TRUE(plain.marked()) << "the program did not run under plain git";

        const UntrustedRepository untrusted;
        ASSERT_TRUE(untrusted.repo.sh(untrusted.marking(route.setup + " && rm -f MARKPATH"))) << route.setup;
        test::LogCapture log;
        untrusted.runAsGlobalProvider("{ " + route.command + "; } >/dev/null 2>&1; touch '" +
                                          (untrusted.repo.path() / "ran").string() + "'",
                                      {}, route.folder);
        EXPECT_FALSE(untrusted.marked());
        if (route.named.empty()) {
            EXPECT_TRUE(untrusted.ran());
            continue;
        }
        EXPECT_FALSE(untrusted.ran());
        if (log.lines().empty()) {
            ADD_FAILURE() << "no line says why the command did not run";
            continue;
        }
        const std::string cwd =
            route.folder.empty() ? untrusted.repo.root() : (untrusted.repo.path() / route.folder).string();
        EXPECT_THAT(log.lines().front(), testing::HasSubstr("[GIT EXEC FAILED] cwd=" + cwd + " "));
        EXPECT_THAT(log.lines().front(), testing::HasSubstr(route.named));
        EXPECT_THAT(log.lines().front(),
                    testing::HasSubstr("trusting the folder (\"Trust this folder…\" in the tray)"));
        expectNamesOnlyWhatIsThere(log.lines().front(), untrusted.repo.root());
    }
}

} // namespace korvane::test
