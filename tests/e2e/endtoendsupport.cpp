#include "endtoendsupport.h"

#include "support/polling.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

} // namespace korvane::test::e2e
