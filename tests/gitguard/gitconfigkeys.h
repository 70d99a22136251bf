#pragma once

#include "gitguard/gitlistedkeys.h"
#include "platform/linux/linuxprocessrunner.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

namespace korvane::test {

// The configuration keys that the installed git lists (`git help --config`); none when git cannot be run.
inline GitListedKeys installedGitsKeys() {
    ProcessRequest request;
    request.executable = "/usr/bin/git";
    LinuxProcessRunner runner;
    auto listed = GitListedKeys::read(runner, request);
    return listed ? std::move(*listed) : GitListedKeys();
}

// Those keys in git's own spelling: "<...>" for a name the configuration chooses, "*" for any variable.
inline std::set<std::string> gitsOwnConfigKeys() {
    const GitListedKeys listed = installedGitsKeys();
    return {listed.keys().begin(), listed.keys().end()};
}

// Whether the value of a variable of git's could be a program or a command, judged by its name.
// Colours, advice and fsck message kinds are names of git's own, never programs.
inline bool mayNameProgram(const std::string& key) {
    std::string lower = key;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    for (const std::string skipped : {"advice.", "color.", "fsck.", "receive.fsck."}) {
        if (lower.starts_with(skipped)) {
            return false;
        }
    }
    for (const std::string section : {"alias.", "pager.", "filter.", "trailer."}) {
        if (lower.starts_with(section)) {
            return true;
        }
    }
    const std::string variable = lower.substr(lower.rfind('.') + 1);
    if (variable.starts_with('<') || variable == "*") {
        return false;
    }
    for (const std::string exact : {"update", "process", "clean", "smudge", "vcs", "server"}) {
        if (variable == exact || variable == "smtp" + exact) {
            return true;
        }
    }
    for (const std::string ending :
         {"command",     "cmd",    "program",  "editor", "helper",    "pager",   "proxy",    "tool",
          "browser",     "viewer", "textconv", "driver", "fsmonitor", "askpass", "external", "uploadpack",
          "receivepack", "tunnel", "httpd",    "hook",   "path",      "filter"}) {
        if (variable.ends_with(ending)) {
            return true;
        }
    }
    return false;
}

} // namespace korvane::test
