// The git processes the korvane binary starts as a user works, counted by git's own trace: with
// GIT_TRACE2_EVENT naming a folder, every git writes one file there, whoever started it.
#include "endtoendsupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;

constexpr const char* kGit = "git -c user.name=Ada -c user.email=ada@example.com -c init.defaultBranch=main";

class GitProcessesEndToEndTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        trace = root / "trace";
        fs::create_directories(trace);
        // A scan command and a live one, as a user writes them.
        dir.write("home/.config/korvane/config.json", R"({
            "snippets": [{"key": "sig", "expand": "Best,\nAda"}],
            "custom_providers": [
                {"id": "changes", "label": "Changes", "command": "git status --short"},
                {"id": "live-status", "label": "Live status", "scope": "gs", "mode": "live",
                 "command": "git status --short"}]})");
        small = repository("small", {"src/main.c", "README.md", "docs/guide.md"});
        second = repository("second", {"lib/tool.py", "notes.txt"});
        plain = home / "plain";
        dir.write("home/plain/stuff/list.txt", "milk\n");
        skipOnboarding();
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1", "QT_QPA_PLATFORM=xcb", "GIT_TRACE2_EVENT=" + trace.string()});
        ASSERT_TRUE(startKorvane()) << readAll(errFile());
    }

    fs::path repository(const std::string& name, const std::vector<std::string>& files) {
        for (const auto& file : files) {
            dir.write("home/" + name + "/" + file, file + "\n");
        }
        const fs::path folder = home / name;
        EXPECT_EQ(run("cd " + quoted(folder) + " && " + kGit + " init -q && " + kGit + " add -A && " + kGit +
                      " commit -qm one"),
                  0);
        return folder;
    }

    // A repository of 20,000 files, nearly all of them kept out of the work tree (skip-worktree), with
    // a few real ones beside them.
    fs::path largeRepository() {
        std::string stream = "blob\nmark :1\ndata 0\n\ncommit refs/heads/main\n"
                             "committer Ada <ada@example.com> 1700000000 +0000\ndata 4\nmany\n";
        for (int folder = 0; folder < 200; ++folder) {
            for (int file = 0; file < 100; ++file) {
                stream += "M 100644 :1 generated/" + std::to_string(folder) + "/f" + std::to_string(file) +
                          ".txt\n";
            }
        }
        const fs::path streamFile = dir.write("large.stream", stream + "\n");
        const fs::path folder = home / "large";
        dir.write("home/large/src/app.c", "int main(void) { return 0; }\n");
        dir.write("home/large/README.md", "# Large\n");
        EXPECT_EQ(run("cd " + quoted(folder) + " && " + kGit + " init -q && " + kGit +
                      " fast-import --quiet < " + quoted(streamFile) + " && " + kGit + " reset -q && " +
                      kGit + " ls-files -z -- generated | " + kGit +
                      " update-index -z --skip-worktree --stdin && " + kGit + " add -A && " + kGit +
                      " commit -qm real"),
                  0);
        return folder;
    }

    // The git processes started since the last call.
    std::vector<fs::path> started() {
        std::vector<fs::path> fresh;
        for (const auto& entry : fs::directory_iterator(trace)) {
            if (seen.insert(entry.path().filename().string()).second) {
                fresh.push_back(entry.path());
            }
        }
        return fresh;
    }

    // Each process's command line and the programs above it, as git traced them.
    static std::string described(const std::vector<fs::path>& processes) {
        std::string text;
        for (const auto& file : processes) {
            std::string argv;
            std::string ancestry;
            for (const std::string& line : lines(readAll(file))) {
                const auto event = nlohmann::json::parse(line, nullptr, false);
                if (!event.is_object()) {
                    continue;
                }
                if (event.value("event", "") == "start") {
                    for (const auto& word : event["argv"]) {
                        argv += " " + word.get<std::string>();
                    }
                } else if (event.value("event", "") == "cmd_ancestry") {
                    for (const auto& name : event["ancestry"]) {
                        ancestry += " < " + name.get<std::string>();
                    }
                }
            }
            text += " " + argv + ancestry + "\n";
        }
        return text;
    }

    // The shell of the xterm `title`, typed into as a user types.
    bool openShell(const std::string& title, const fs::path& directory) {
        if (!openXterm(title, directory, "touch " + quoted(readyFile(title)) + " && exec sh -i")) {
            return false;
        }
        shell = output("pgrep -P " + std::to_string(helpers.back()));
        return !shell.empty();
    }

    bool cd(const fs::path& folder) {
        return key("ctrl+u") && type("cd " + folder.string()) && key("Return") &&
               pollUntil([&] { return output("readlink /proc/" + shell + "/cwd") == folder.string(); });
    }

    struct Popup {
        std::vector<fs::path> opening;
        std::vector<fs::path> held;
    };

    // Types `text` to open the popup, lets it settle for a second, holds it open `seconds` more and
    // closes it: the git processes of the opening and those of the hold.
    Popup hold(const std::string& text, double seconds, const std::string& keys = "") {
        Popup popup;
        EXPECT_TRUE(type(text));
        EXPECT_TRUE(popupShown(true)) << text;
        if (!keys.empty()) {
            EXPECT_TRUE(key(keys));
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        popup.opening = started();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        popup.held = started();
        EXPECT_TRUE(key("Escape"));
        EXPECT_TRUE(popupShown(false)) << text;
        const auto closing = started();
        popup.held.insert(popup.held.end(), closing.begin(), closing.end());
        return popup;
    }

    fs::path trace, small, second, plain;
    std::set<std::string> seen;
    std::string shell;
};

TEST_F(GitProcessesEndToEndTest, APopupHeldOpenInAFolderWithNoProjectStartsAtMostTwoGits) {
    ASSERT_TRUE(openTerminal("korvane-plain", plain));
    ASSERT_TRUE(waitForOutput("Project changed: plain at " + plain.string()));
    started();
    const Popup popup = hold(";;", 3.0);
    std::vector<fs::path> all = popup.opening;
    all.insert(all.end(), popup.held.begin(), popup.held.end());
    std::cout << "[ git      ] " << all.size()
              << " processes while the popup stood 4 s in a folder with no project\n";
    EXPECT_LE(all.size(), 2u) << described(all);
}

// A minute of ordinary use in one terminal whose shell moves between projects, with a second terminal
// switched to and back: the first popup in each new project, the git and file scopes, Ctrl+R, the
// user's live command, then ten seconds of idling.
TEST_F(GitProcessesEndToEndTest, AMinuteOfOrdinaryUseStaysWithinItsGitProcesses) {
    const fs::path large = largeRepository();
    std::size_t total = started().size();
    const auto tally = [&](const std::string& what, const std::vector<fs::path>& processes,
                           std::size_t bound) {
        total += processes.size();
        std::cout << "[ git      ] " << what << ": " << processes.size() << "\n";
        EXPECT_LE(processes.size(), bound) << what << ":\n" << described(processes);
    };
    // A popup's opening within `bound` processes, and none while it stays open.
    const auto counted = [&](const std::string& what, const Popup& popup, std::size_t bound = 150) {
        tally(what, popup.opening, bound);
        tally(what + " (held open)", popup.held, 0);
    };
    // The change of project and the first popup there, together.
    const auto firstPopup = [&](const std::string& what, const fs::path& folder, std::size_t bound) {
        ASSERT_TRUE(cd(folder));
        counted("first popup in " + what, hold(";;", 2.0), bound);
    };

    ASSERT_TRUE(openShell("korvane-work", small));
    ASSERT_TRUE(waitForOutput("Project changed: small at " + small.string()));
    counted("start and the first popup in a small project", hold(";;", 2.0), 30);
    firstPopup("a second project", second, 30);
    firstPopup("a project of 20,000 files", large, 30);
    counted("@git", hold(";;@git", 2.0));
    counted("@f", hold(";;@f", 2.0));
    firstPopup("a folder with no project", plain, 2);

    ASSERT_TRUE(cd(small));
    counted("Ctrl+R", hold(";;", 1.0, "ctrl+r"));
    counted("the live command", hold(";;@gs", 2.0));
    ASSERT_TRUE(openTerminal("korvane-other", second));
    ASSERT_TRUE(focus("korvane-work"));
    std::this_thread::sleep_for(std::chrono::seconds(10));
    tally("the switch and ten idle seconds", started(), 150);
    std::cout << "[ git      ] in all: " << total << "\n";
    EXPECT_LE(total, 150u);
}

} // namespace
} // namespace korvane
