#pragma once

#include "base/clock.h"
#include "base/workerpool.h"
#include "platform/processrunner.h"
#include "platform/processtable.h"
#include "providers/processinfo.h"
#include "providers/programonpath.h"
#include "providers/serverquestions.h"

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
// session that does not answer in time, a folder or program not as screen itself would use them) the
// terminal gives no folder, never the one screen was started or attached in. Main thread.
class ScreenWindowFinder {
public:
    // The name screen's client and server processes bear.
    static constexpr std::string_view processName = "screen";
    // Where screen keeps a user's sessions, in "S-<login name>", unless $SCREENDIR names the folder.
    static constexpr std::string_view defaultSessionRoot = "/run/screen";
    // Seconds a question may take on its worker before screen is stopped.
    static constexpr double questionTimeout = 2.0;

    // screen is looked for in the absolute entries of `searchPath` (a PATH value); the sessions are
    // asked on `questions`, which outlives this finder, as `clock` does. `sessionRoot` stands for
    // defaultSessionRoot.
    ScreenWindowFinder(std::shared_ptr<ProcessTable> table, std::shared_ptr<ProcessRunner> runner,
                       WorkerPool& questions, std::string searchPath,
                       const Clock& clock = SystemClock::shared(),
                       std::string sessionRoot = std::string(defaultSessionRoot));

private:
    struct Client;

public:
    // The questions one detection put to the sessions of the screen clients in front, not yet waited for.
    struct Asked {
        std::vector<Client> clients;
        ServerQuestions::Pending questions;
    };

    // Starts the questions to the sessions of the screen clients in front among `processes` (a
    // terminal's, as ProcessInfo::descendants lists them) for the detection of `wait`.
    Asked ask(const std::vector<ProcessInfo::DescendantInfo>& processes, ServerQuestions::Wait& wait);

    // `processes` where each device whose foreground job is a screen client holds, in place of its own
    // processes and of those below the client, the processes of the window its display shows; or, where
    // that window cannot be known (a client not `asked` about, no answer by the end of `wait`), its own
    // processes without their folders.
    std::vector<ProcessInfo::DescendantInfo>
    withWindowsShown(std::vector<ProcessInfo::DescendantInfo> processes, const Asked& asked,
                     const ServerQuestions::Wait& wait);
    // Both at once, within a wait of its own.
    std::vector<ProcessInfo::DescendantInfo>
    withWindowsShown(std::vector<ProcessInfo::DescendantInfo> processes);

    // The server process of each client followed at the last detection, by client: what the programs of
    // its panes read tells its tab, without asking anything.
    const std::map<std::int32_t, std::int32_t>& serverOfClient() const { return serverOfClient_; }
    // The device of the window each of them showed then, where the session told it.
    const std::map<std::int32_t, std::string>& shownOfClient() const { return shownOfClient_; }

    // The window number in screen's answer to "-Q number" ("2 (bash)", on its last line); absent for
    // anything else.
    static std::optional<int> windowNumber(std::string_view answer);

    // The question put to the session `name` in `folder`: which window its display shows, from an
    // environment that names that folder alone, in "/".
    static ProcessRequest request(const std::string& screen, const std::string& folder,
                                  const std::string& name);

private:
    // A session holding a terminal device: its server process, the folder of its socket and the
    // socket's name ("<pid>.<name>").
    struct Session {
        std::int32_t server = 0;
        std::string folder;
        std::string name;
    };

    // A screen client in front of its terminal device, the session that holds that device and the index
    // of the question to it.
    struct Client {
        std::int32_t pid = 0;
        std::string tty;
        std::optional<Session> session;
        std::size_t question = 0;
    };

    // The screen clients in front among `processes`, one a device, without their sessions.
    static std::vector<Client> clientsInFront(const std::vector<ProcessInfo::DescendantInfo>& processes);
    std::optional<Session> sessionOn(std::int32_t client, const std::string& tty,
                                     const ProgramOnPath::Found& screen);
    std::optional<std::string> sessionFolder(std::int32_t client);
    std::optional<Session> sessionHolding(const std::string& folder, const std::string& tty,
                                          const ProgramOnPath::Found& screen);
    std::optional<std::vector<ProcessInfo::DescendantInfo>>
    windowShown(const Session& session, const std::optional<std::string>& answer, const Client& client);
    std::optional<std::int32_t> windowProcess(const Session& session, int number);
    bool runsScreen(std::int32_t pid, const ProgramOnPath::Found& screen);

    std::shared_ptr<ProcessTable> table_;
    ProgramOnPath screen_;
    std::string sessionRoot_;
    // Looked up once: the user database may be a network's, and the name does not change while Korvane runs.
    std::optional<std::string> login_;
    ServerQuestions questions_;
    // The session server of each client followed at the last detection.
    std::map<std::int32_t, std::int32_t> serverOfClient_;
    std::map<std::int32_t, std::string> shownOfClient_;
};

} // namespace korvane
