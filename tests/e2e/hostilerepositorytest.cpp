// The korvane binary against a hostile repository, under scripts/xvfb-session: a repository extracted
// from an archive with its own .git folder, whose configuration maps every file to a clean filter that
// leaves a marker, and whose .korvane.json redefines the user's "sig" with a bracketed-paste end and a
// command. An xterm runs dash in it; the user types ";;sig" and Return.
#include "endtoendsupport.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::pollUntil;
using test::readAll;
using test::run;
using namespace test::e2e;

constexpr const char* kReadyLine = "[Korvane] Ready. Type ;; to activate.";

class HostileRepositoryTest : public testing::Test {
protected:
    void SetUp() override {
#ifndef KORVANE_BINARY
        GTEST_SKIP() << "the korvane executable is not part of this build";
#else
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        root = fs::canonical(dir.path());
        home = root / "home";
        fs::create_directories(home / "projects");
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all);
        dir.write("state/korvane/defaults.json", R"({"hasCompletedOnboarding": true})");
        // The user's own "sig" is a command that leaves its own mark when the user runs it.
        dir.write("home/.config/korvane/config.json",
                  R"({"snippets": [{"key": "sig", "expand": "echo ours > )" + (root / "ours.txt").string() +
                      R"("}, {"key": "token", "expand": "SECRET"}]})");
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            static const std::vector<std::string> replaced{
                "HOME=",           "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",
                "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "KORVANE_TEST="};
            if (std::none_of(replaced.begin(), replaced.end(),
                             [&](const auto& p) { return entry.starts_with(p); })) {
                environment.push_back(entry);
            }
        }
        for (const std::string& entry :
             {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
              "XDG_CACHE_HOME=" + (home / ".cache").string(), "XDG_STATE_HOME=" + (root / "state").string(),
              "XDG_RUNTIME_DIR=" + (root / "run").string(), std::string("KORVANE_TEST_HOOKS=1"),
              std::string("QT_QPA_PLATFORM=xcb")}) {
            environment.push_back(entry);
        }
#endif
    }

    void TearDown() override {
        stop(korvane);
        for (int pid : helpers) {
            run("kill " + std::to_string(pid) + " 2>/dev/null");
        }
        if (HasFailure()) {
            std::cout << "[ korvane  ] stdout:\n" << readAll(root / "korvane.out") << "\n";
        }
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
                      (root / "leak.txt").string() + R"("}]})");
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

    bool startKorvane() {
#ifdef KORVANE_BINARY
        korvane = spawn({KORVANE_BINARY}, environment, root / "korvane.out", root / "korvane.err");
#endif
        return waitForLine(kReadyLine, 30.0);
    }

    bool waitForLine(const std::string& line, double seconds = 20.0) {
        return pollUntil([&] { return count(readAll(root / "korvane.out"), line) > 0; }, seconds);
    }

    // An xterm titled `title` running an interactive dash in `directory`; focused.
    bool openDash(const std::string& title, const fs::path& directory) {
        const fs::path ready = root / (title + ".ready");
        const std::string program = "touch " + quoted(ready) + " && PS1='$ ' exec dash -i";
        if (run("cd " + quoted(directory) + " && { xterm -T " + title + " -geometry 80x12 -e sh -c " +
                quoted(program) + " >/dev/null 2>&1 & echo $! > " + quoted(root / (title + ".pid")) +
                "; }") != 0 ||
            !pollUntil([&] { return fs::exists(ready); }, 20.0)) {
            return false;
        }
        helpers.push_back(std::stoi(readAll(root / (title + ".pid"))));
        return test::activateWindow("--name '^" + title + "$'");
    }

    static bool xdotool(const std::string& arguments) {
        return run("xdotool " + arguments + " >/dev/null 2>&1") == 0;
    }
    static bool popupShown(bool shown) {
        return pollUntil(
            [&] {
                return output("xdotool search --onlyvisible --name '^Korvane$' 2>/dev/null").empty() != shown;
            },
            10.0);
    }

    test::TempDir dir;
    fs::path root, home;
    std::vector<std::string> environment;
    pid_t korvane = 0;
    std::vector<int> helpers;
};

TEST_F(HostileRepositoryTest, NothingOfTheRepositoryRunsAndTheUsersOwnSnippetIsInserted) {
#ifdef KORVANE_BINARY
    const fs::path marker = root / "marker";
    packRepository(marker);
    // The archive does what it is made for under plain git.
    const fs::path probe = extract("probe");
    ASSERT_EQ(run("cd " + quoted(probe) + " && git status --porcelain >/dev/null 2>&1"), 0);
    ASSERT_TRUE(fs::exists(marker)) << "the clean filter did not run under plain git";
    fs::remove(marker);
    fs::remove_all(probe);

    const fs::path hostile = extract("hostile");
    ASSERT_TRUE(startKorvane()) << readAll(root / "korvane.err");
    ASSERT_TRUE(openDash("korvane-hostile", hostile));
    ASSERT_TRUE(waitForLine("[Korvane] Project changed: hostile at " + hostile.string()))
        << readAll(root / "korvane.out");
    ASSERT_TRUE(waitForLine("waits for trust"));

    ASSERT_TRUE(xdotool("type --delay 40 ';;sig'"));
    ASSERT_TRUE(popupShown(true));
    // The rows come from the scan, which runs git in the repository.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(xdotool("key --delay 40 Return"));
    ASSERT_TRUE(popupShown(false));
    // The text is on dash's command line; the user runs it.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(xdotool("key --delay 40 Return"));
    EXPECT_TRUE(pollUntil([&] { return readAll(root / "ours.txt") == "ours\n"; }, 10.0))
        << "the user's own sig was not inserted";

    // The project's own snippet is inserted, but it cannot pull the user's secret snippet into the text.
    ASSERT_TRUE(xdotool("type --delay 40 ';;leak'"));
    ASSERT_TRUE(popupShown(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(xdotool("key --delay 40 Return"));
    ASSERT_TRUE(popupShown(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(xdotool("key --delay 40 Return"));
    EXPECT_TRUE(pollUntil([&] { return readAll(root / "leak.txt") == "{{token}}\n"; }, 10.0))
        << readAll(root / "leak.txt");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(fs::exists(root / "marker-paste")) << "the project's text ran a command";
    EXPECT_FALSE(fs::exists(marker)) << "git ran the repository's filter";
#endif
}

} // namespace
} // namespace korvane
