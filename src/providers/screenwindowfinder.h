#pragma once

#include "base/clock.h"
#include "platform/processrunner.h"
#include "platform/processtable.h"
#include "providers/processinfo.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Reads a terminal that runs GNU screen through the window its display shows: the session holding
// the terminal's device as its only display is asked which window it shows, and that window's
// processes stand for the terminal. Where this cannot be known for certain (several displays, a
// session that does not answer, a folder or program not as screen itself would use them) the terminal
// gives no folder, never the one screen was started or attached in. Main thread.
class ScreenWindowFinder {
public:
    // The name screen's client and server processes bear.
    static constexpr std::string_view processName = "screen";
    // Where screen keeps a user's sessions, in "S-<login name>", unless $SCREENDIR names the folder.
    static constexpr std::string_view defaultSessionRoot = "/run/screen";
    // Seconds a session has to answer, and seconds its question then gets to end: the trigger waits.
    static constexpr double answerTimeout = 0.025;
    static constexpr double killGrace = 0.005;
    // Seconds a session that twice in a row did not answer in time is not asked again: once may be a
    // busy machine, twice a session that does not answer.
    static constexpr double silenceMemory = 10.0;

    // screen is looked for in the absolute entries of `searchPath` (a PATH value); without `runner`
    // no session is asked. `sessionRoot` stands for defaultSessionRoot.
    ScreenWindowFinder(std::shared_ptr<ProcessTable> table, std::shared_ptr<ProcessRunner> runner,
                       std::string searchPath, const Clock& clock = SystemClock::shared(),
                       std::string sessionRoot = std::string(defaultSessionRoot));

    // `processes`, a terminal's as ProcessInfo::descendants lists them, where each device whose
    // foreground job is a screen client holds, in place of its own processes and of those below the
    // client, the processes of the window its display shows; or, where that window cannot be known,
    // its own processes without their folders.
    std::vector<ProcessInfo::DescendantInfo>
    withWindowsShown(std::vector<ProcessInfo::DescendantInfo> processes);

    // The window number in screen's answer to "-Q number" ("2 (bash)", on its last line); absent for
    // anything else.
    static std::optional<int> windowNumber(std::string_view answer);

private:
    // A session: its server process, the folder of its socket, the socket's name ("<pid>.<name>") and
    // what the server holds open.
    struct Session {
        std::int32_t server = 0;
        std::string folder;
        std::string name;
        std::vector<std::string> files;
    };

    std::optional<std::vector<ProcessInfo::DescendantInfo>> windowShownOn(std::int32_t client,
                                                                          const std::string& tty);
    std::optional<std::string> sessionFolder(std::int32_t client);
    std::optional<Session> sessionHolding(const std::string& folder, const std::string& tty);
    static bool holdsOnlyDisplay(const Session& session, const std::string& tty);
    std::optional<int> askShownWindow(const Session& session);
    std::optional<std::int32_t> windowProcess(const Session& session, int number);
    bool runsScreen(std::int32_t pid);
    std::optional<std::string> program();

    std::shared_ptr<ProcessTable> table_;
    std::shared_ptr<ProcessRunner> runner_;
    std::string searchPath_;
    const Clock& clock_;
    std::string sessionRoot_;
    std::optional<std::string> program_;
    // Servers whose last question went unanswered: how many in a row, and until when they are not
    // asked again.
    struct Silence {
        int unanswered = 0;
        Clock::MonotonicTime until;
    };
    std::map<std::int32_t, Silence> silences_;
};

} // namespace korvane
