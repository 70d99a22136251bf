#include "endtoendsupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvane::test::e2e {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// What `command` printed on stdout, without the final line break.
std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            text.append(buffer, n);
        }
        ::pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::size_t count(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

// The text a plain line editor holds after receiving `bytes` from a terminal in raw mode:
// Backspace and Delete remove the character before the cursor, the arrow keys move it, a carriage
// return breaks the line. What the application sent a terminal, as the user would see it edited.
std::string edited(const std::string& bytes) {
    std::string text;
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x7f' || c == '\b') {
            if (cursor > 0) {
                text.erase(--cursor, 1);
            }
        } else if (c == '\x1b' && i + 2 < bytes.size() && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
            std::size_t end = i + 2;
            while (end < bytes.size() &&
                   (std::isdigit(static_cast<unsigned char>(bytes[end])) || bytes[end] == ';')) {
                ++end;
            }
            if (end < bytes.size()) {
                if (bytes[end] == 'D' && cursor > 0) {
                    --cursor;
                } else if (bytes[end] == 'C' && cursor < text.size()) {
                    ++cursor;
                }
            }
            i = end; // bracketed-paste marks and other sequences change no text
        } else {
            text.insert(cursor++, 1, c == '\r' ? '\n' : c);
        }
    }
    return text;
}

// Starts `argv` with `environment`, its output appended to two files; the process id.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const fs::path& out, const fs::path& err) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& e : environment) {
        env.push_back(const_cast<char*>(e.c_str()));
    }
    env.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::setpgid(0, 0);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
    return pid;
}

// Whether the child `pid` has ended, reaping it; its wait status in `status`.
bool ended(pid_t pid, int* status) {
    int s = 0;
    if (::waitpid(pid, &s, WNOHANG) == pid) {
        if (status != nullptr) {
            *status = s;
        }
        return true;
    }
    return false;
}

void stop(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    if (!pollUntil([&] { return ended(pid); }, 5.0)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

void IsolatedKorvaneTest::SetUp() {
    if (korvaneBinary().empty()) {
        GTEST_SKIP() << "the korvane executable is not part of this build";
    }
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
    }
    root = fs::canonical(dir.path());
    home = root / "home";
    fs::create_directories(root / "run");
    fs::permissions(root / "run", fs::perms::owner_all);
    arrange();
}

void IsolatedKorvaneTest::TearDown() {
    stop(korvane);
    stop(trayer);
    for (int pid : helpers) {
        run("kill " + std::to_string(pid) + " 2>/dev/null");
    }
    // Kept for a look at a failure; the temporary folder goes with the test.
    if (HasFailure()) {
        std::cout << "[ korvane  ] stdout:\n"
                  << readAll(outFile()) << "[ korvane  ] stderr (tail):\n"
                  << output("tail -n 30 " + quoted(errFile())) << "\n";
    }
}

std::string IsolatedKorvaneTest::korvaneBinary() {
#ifdef KORVANE_BINARY
    return KORVANE_BINARY;
#else
    return {};
#endif
}

std::string IsolatedKorvaneTest::fixtureCommand(const std::string& script, const std::string& arguments) {
    return "/usr/bin/python3 " KORVANE_FIXTURES "/" + script + " " + arguments;
}

void IsolatedKorvaneTest::isolateEnvironment(const std::vector<std::string>& extra) {
    // KORVANE_TEST marks the test runner itself; the binary would leave at once under it.
    static const std::vector<std::string> replaced{"HOME=",           "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",
                                                   "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "KORVANE_TEST="};
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (std::none_of(replaced.begin(), replaced.end(),
                         [&](const auto& p) { return entry.starts_with(p); })) {
            environment.push_back(entry);
        }
    }
    for (const std::string& entry :
         {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
          "XDG_CACHE_HOME=" + (home / ".cache").string(), "XDG_STATE_HOME=" + (root / "state").string(),
          "XDG_RUNTIME_DIR=" + (root / "run").string()}) {
        environment.push_back(entry);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
}

void IsolatedKorvaneTest::skipOnboarding() {
    dir.write("state/korvane/defaults.json", R"({"hasCompletedOnboarding": true})");
}

void IsolatedKorvaneTest::launch() {
    ++starts;
    korvane = spawn({korvaneBinary()}, environment, outFile(), errFile());
}

bool IsolatedKorvaneTest::startKorvane() {
    launch();
    return waitForLine(kReadyLine, 1, 30.0);
}

fs::path IsolatedKorvaneTest::outFile() const {
    return root / ("korvane" + std::to_string(starts) + ".out");
}

fs::path IsolatedKorvaneTest::errFile() const {
    return root / ("korvane" + std::to_string(starts) + ".err");
}

bool IsolatedKorvaneTest::waitForLine(const std::string& line, std::size_t times, double seconds) {
    return pollUntil([&] { return count(readAll(outFile()), line + "\n") >= times; }, seconds);
}

bool IsolatedKorvaneTest::waitForOutput(const std::string& text, double seconds) {
    return pollUntil([&] { return readAll(outFile()).find(text) != std::string::npos; }, seconds);
}

void IsolatedKorvaneTest::startTrayer() {
    if (run("command -v trayer >/dev/null") != 0) {
        return;
    }
    trayer = spawn({"/bin/sh", "-c",
                    "exec trayer --edge top --align right --widthtype request --height 24 "
                    "--SetDockType true --SetPartialStrut false --expand false"},
                   environment, root / "trayer.out", root / "trayer.err");
    pollUntil(
        [&] {
            return !(trayerWindow = output("xdotool search --class trayer 2>/dev/null | head -1")).empty();
        },
        10.0);
}

std::string IsolatedKorvaneTest::trayIcon() const {
    if (trayerWindow.empty()) {
        return {};
    }
    std::size_t trayDepth = std::string::npos;
    for (const std::string& line : lines(output("xwininfo -root -tree 2>/dev/null"))) {
        const std::size_t depth = line.find_first_not_of(' ');
        if (trayDepth != std::string::npos && depth <= trayDepth) {
            trayDepth = std::string::npos;
        }
        if (line.find("\"trayer\")") != std::string::npos) {
            trayDepth = depth;
        } else if (trayDepth != std::string::npos && line.find("(\"korvane\"") != std::string::npos) {
            return line.substr(depth, line.find(' ', depth) - depth);
        }
    }
    return {};
}

std::vector<std::string> IsolatedKorvaneTest::accessibleItems(const std::string& what) {
    return lines(output(fixtureCommand("korvaneitems.py", what + " 10") + " 2>/dev/null"));
}

std::vector<std::string> IsolatedKorvaneTest::rowsWith(const std::string& text) {
    std::vector<std::string> rows;
    pollUntil(
        [&] {
            rows = accessibleItems("rows");
            return std::any_of(rows.begin(), rows.end(),
                               [&](const std::string& row) { return row.find(text) != std::string::npos; });
        },
        10.0);
    return rows;
}

std::vector<std::string> IsolatedKorvaneTest::trayMenu() const {
    const std::string icon = trayIcon();
    return icon.empty() ? std::vector<std::string>{} : accessibleItems("menu " + icon);
}

std::string IsolatedKorvaneTest::projectLine(const fs::path& project) {
    return "[Korvane] Project changed: " + project.filename().string() + " at " + project.string();
}

bool IsolatedKorvaneTest::openXterm(const std::string& title, const fs::path& directory,
                                    const std::string& program, const std::string& geometry) {
    return startXterm(title, directory, program, geometry) && focus(title);
}

bool IsolatedKorvaneTest::startXterm(const std::string& title, const fs::path& directory,
                                     const std::string& program, const std::string& geometry) {
    const fs::path pidFile = root / (title + ".pid");
    const std::string command = (directory.empty() ? "" : "cd " + quoted(directory) + " && ") +
                                "{ xterm -T " + title + " -geometry " + geometry + " -e sh -c " +
                                quoted(program) + " >/dev/null 2>&1 & echo $! > " + quoted(pidFile) + "; }";
    if (run(command) != 0 || !pollUntil([&] { return fs::exists(readyFile(title)); }, 20.0)) {
        return false;
    }
    helpers.push_back(std::stoi(readAll(pidFile)));
    return true;
}

bool IsolatedKorvaneTest::openTerminal(const std::string& title, const fs::path& directory) {
    return openXterm(title, directory,
                     "stty raw -echo && touch " + quoted(readyFile(title)) + " && exec cat > " +
                         quoted(typedFile(title)));
}

fs::path IsolatedKorvaneTest::readyFile(const std::string& title) const {
    return root / (title + ".ready");
}

fs::path IsolatedKorvaneTest::typedFile(const std::string& title) const {
    return root / (title + ".typed");
}

bool IsolatedKorvaneTest::focus(const std::string& title) {
    return activateWindow("--name '^" + title + "$'");
}

bool IsolatedKorvaneTest::type(const std::string& text) {
    return run("xdotool type --delay 40 " + quoted(text) + " >/dev/null 2>&1") == 0;
}

bool IsolatedKorvaneTest::key(const std::string& keys) {
    return run("xdotool key --delay 40 " + keys + " >/dev/null 2>&1") == 0;
}

IsolatedKorvaneTest::Geometry IsolatedKorvaneTest::geometry(const std::string& window) {
    Geometry g;
    for (const std::string& line :
         lines(output("xdotool getwindowgeometry --shell " + window + " 2>/dev/null"))) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(0, equals);
        const int value = std::atoi(line.c_str() + equals + 1);
        if (name == "X") {
            g.x = value;
        } else if (name == "Y") {
            g.y = value;
        } else if (name == "WIDTH") {
            g.width = value;
        } else if (name == "HEIGHT") {
            g.height = value;
        }
    }
    return g;
}

std::vector<std::string> IsolatedKorvaneTest::visibleKorvaneWindows() {
    return lines(output("xdotool search --onlyvisible --name '^Korvane$' 2>/dev/null"));
}

std::string IsolatedKorvaneTest::popupWindow() {
    for (const std::string& window : visibleKorvaneWindows()) {
        if (geometry(window).width > 60) {
            return window;
        }
    }
    return {};
}

bool IsolatedKorvaneTest::popupShown(bool shown) {
    return pollUntil([&] { return popupWindow().empty() != shown; }, 10.0);
}

void IsolatedKorvaneTest::screenshot(const std::string& name) {
    run("import -window root /tmp/korvane-e2e-" + name + ".png >/dev/null 2>&1");
}

} // namespace korvane::test::e2e
