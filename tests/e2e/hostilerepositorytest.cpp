// The korvane binary against a hostile repository, under scripts/xvfb-session: a repository extracted
// from an archive with its own .git folder, whose configuration maps every file to a clean filter that
// leaves a marker, and whose .korvane.json redefines the user's "sig" with a bracketed-paste end and a
// command, and adds a "deploy" of two lines. An xterm runs dash in it; the user types ";;sig" and Return.
#include "config/configmanager.h"
#include "endtoendsupport.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;

class HostileRepositoryTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        fs::create_directories(home / "projects");
        skipOnboarding();
        // The user's own "sig" is a command that leaves its own mark when the user runs it.
        dir.write("home/.config/korvane/config.json",
                  R"({"snippets": [{"key": "sig", "expand": "echo ours > )" + (root / "ours.txt").string() +
                      R"("}, {"key": "token", "expand": "SECRET"}]})");
        isolateEnvironment({"KORVANE_TEST_HOOKS=1", "QT_QPA_PLATFORM=xcb"});
    }

    // The repository as an attacker ships it: packed with its .git folder, whose configuration (the
    // filter pulled in through include.path) names a program that leaves `marker`.
    void packRepository(const fs::path& marker) {
        const fs::path source = root / "source";
        const std::string git =
            "git -c user.name=M -c user.email=m@example.invalid -c init.defaultBranch=main";
        dir.write("source/README.md", "# Hostile\n");
        dir.write("source/.gitattributes", "* filter=evil\n");
        dir.write("source/.korvane.json",
                  R"({"snippets": [{"key": "sig", "expand": "\u001b[201~\ntouch )" + marker.string() +
                      R"(-paste\n"}, {"key": "leak", "expand": "echo '{{token}}' > )" +
                      (root / "leak.txt").string() +
                      R"("}, {"key": "deploy", "expand": "echo deploying\ntouch )" + marker.string() +
                      R"(-deploy\n"}]})");
        ASSERT_EQ(run("cd " + quoted(source) + " && " + git + " init -q && " + git + " add -A && " + git +
                      " commit -qm one"),
                  0);
        dir.write("source/.git/evil.config",
                  "[filter \"evil\"]\n\tclean = \"touch " + marker.string() + "; cat\"\n");
        ASSERT_EQ(run("cd " + quoted(source) + " && git config include.path evil.config"), 0);
        ASSERT_EQ(run("tar -C " + quoted(source) + " -cf " + quoted(root / "hostile.tar") + " ."), 0);
    }

    fs::path extract(const std::string& name) {
        const fs::path target = home / "projects" / name;
        fs::create_directories(target);
        EXPECT_EQ(run("tar -C " + quoted(target) + " -xf " + quoted(root / "hostile.tar")), 0);
        return target;
    }

    // An xterm titled `title` running an interactive dash in `directory`; focused.
    bool openDash(const std::string& title, const fs::path& directory) {
        return openXterm(title, directory, "touch " + quoted(readyFile(title)) + " && PS1='$ ' exec dash -i",
                         "80x12");
    }
};

TEST_F(HostileRepositoryTest, NothingOfTheRepositoryRunsAndTheUsersOwnSnippetIsInserted) {
    const fs::path marker = root / "marker";
    packRepository(marker);
    // The archive does what it is made for under plain git.
    const fs::path probe = extract("probe");
    ASSERT_EQ(run("cd " + quoted(probe) + " && git status --porcelain >/dev/null 2>&1"), 0);
    ASSERT_TRUE(fs::exists(marker)) << "the clean filter did not run under plain git";
    fs::remove(marker);
    fs::remove_all(probe);

    const fs::path hostile = extract("hostile");
    launch();
    ASSERT_TRUE(waitForOutput(kReadyLine, 30.0)) << readAll(errFile());
    ASSERT_TRUE(openDash("korvane-hostile", hostile));
    ASSERT_TRUE(waitForOutput("[Korvane] Project changed: hostile at " + hostile.string(), 20.0))
        << readAll(outFile());
    ASSERT_TRUE(waitForOutput("waits for trust", 20.0));

    ASSERT_TRUE(type(";;sig"));
    ASSERT_TRUE(popupShown(true));
    // The rows come from the scan, which runs git in the repository.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(popupShown(false));
    // The text is on dash's command line; the user runs it.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] { return readAll(root / "ours.txt") == "ours\n"; }, 10.0))
        << "the user's own sig was not inserted";

    // The project's own snippet is inserted, but it cannot pull the user's secret snippet into the text.
    ASSERT_TRUE(type(";;leak"));
    ASSERT_TRUE(popupShown(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(popupShown(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] { return readAll(root / "leak.txt") == "{{token}}\n"; }, 10.0))
        << readAll(root / "leak.txt");

    // Its snippet of two lines is not offered before trust: Return accepts nothing of it.
    EXPECT_TRUE(
        waitForOutput("[Korvane] Project snippet 'deploy' waits for trust: its text holds a line break"));
    ASSERT_TRUE(type(";;deploy"));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(key("Return"));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(key("Return"));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(fs::exists(root / "marker-deploy")) << "the project's second line ran";
    EXPECT_FALSE(fs::exists(root / "marker-paste")) << "the project's text ran a command";
    EXPECT_FALSE(fs::exists(marker)) << "git ran the repository's filter";

    // Trusted as the tray's confirmation trusts, it is typed as written: both lines run.
    ConfigManager config(ConfigLoader(home / ".config/korvane"), nullptr, nullptr);
    config.loadGlobalConfig();
    config.setProjectRoot(hostile.string());
    const auto waiting = config.projectsAwaitingTrust();
    ASSERT_EQ(waiting.size(), 1u);
    ASSERT_TRUE(config.trustProjectCommands(waiting[0]).has_value());
    ASSERT_TRUE(type(";;deploy"));
    ASSERT_TRUE(popupShown(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] { return fs::exists(root / "marker-deploy"); }, 10.0))
        << "the trusted snippet was not typed as written";
}

} // namespace
} // namespace korvane
