#pragma once

#include "endtoendsupport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::test::e2e {

// The korvane binary in a private home with three git projects (alpha, beta and gamma, each holding
// "<name>-draft.txt"), read the way a terminal user meets it: the popup opened on the draft files
// and the tray menu, both over the accessibility bus, and the time of each trigger. Stops the tmux
// servers and screen sessions a test started and removes the sockets they left.
class TerminalProjectTest : public IsolatedKorvaneTest {
protected:
    void arrange() override;
    void TearDown() override;

    std::filesystem::path project(const std::string& name) const { return home / "projects" / name; }

    // Opens the popup on the draft files, expects `name`'s and no other project's, and closes it
    // again, leaving nothing typed on the terminal's line. Inside tmux or screen, a trigger whose question
    // to the server takes longer than the detection waits (a loaded machine) reads the terminal as without
    // any project, and the next asks again: there `triggers` tries are allowed. With `neverAnother`, no
    // try may show another project.
    void expectPopupShows(const std::string& name, int triggers = 1, bool neverAnother = false);
    // Opens the popup on the draft files and closes it again as expectPopupShows does; the project
    // whose drafts it listed, "" for none and "several" for more than one.
    std::string popupProject();
    void expectTrayShows(const std::string& name);

    // Types `line` into the focused shell and waits until `done` holds.
    template <typename Condition> bool runInShell(const std::string& line, Condition done) {
        return type(line) && key("Return") && pollUntil(done, 10.0);
    }

    // A tmux server started through `command` (tmux with its socket options) in an xterm titled
    // `title`, started in `directory`, whose one session `session` starts its pane in `pane`; waits
    // until the server lists the xterm's client.
    bool openTmux(const std::string& title, const std::string& command,
                  const std::filesystem::path& directory, const std::string& session,
                  const std::filesystem::path& pane);

    // Milliseconds from each trigger to the popup's first frame so far, in order.
    std::vector<double> triggerTimes() const;

    // An lxterminal titled `title` whose shell runs `program` (which touches readyFile(`title`) once set
    // up) in `directory`; focused. It keeps its settings in the test's home.
    bool openLxterminal(const std::string& title, const std::filesystem::path& directory,
                        const std::string& program);

    static inline const std::vector<std::string> kProjects{"alpha", "beta", "gamma"};
    static constexpr const char* kMarker = "KORVANE_E2E_MARKER";
    // Triggers allowed for a popup inside tmux or screen.
    static constexpr int kTmuxTriggers = 8;
    // Each tmux server's command with its socket, to stop it after the test.
    std::vector<std::string> servers;
    // Sockets tmux leaves behind in the folder all the user's servers share.
    std::vector<std::filesystem::path> sharedSockets;
    // Each screen session's command with its name, to end it after the test.
    std::vector<std::string> sessions;

private:
    void closePopup();
};

} // namespace korvane::test::e2e
