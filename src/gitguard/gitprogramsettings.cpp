#include "gitguard/gitprogramsettings.h"

#include "gitguard/gitconfigkey.h"

#include <algorithm>
#include <cctype>

namespace korvane {
namespace {

using enum GitProgramSetting::Treatment;

constexpr std::string_view viaTool = "names a tool whose cmd and path settings are made neutral";
constexpr std::string_view viaBrowser = "names a browser whose cmd and path settings are made neutral";
constexpr std::string_view notAProgram = "a yes-or-no setting, not a program";

// An empty command makes git report that it cannot run one; ":" is git's editor that edits nothing;
// "cat" converts and pages nothing.
constexpr GitProgramSetting settings[] = {
    {"core.fsmonitor", neutral, "false"},
    {"core.editor", neutral, ":"},
    {"sequence.editor", neutral, ":"},
    {"core.pager", neutral, "cat"},
    {"pager.<cmd>", neutral, "false"},
    {"core.askPass", neutral, ""},
    {"core.sshCommand", neutral, "ssh"},
    {"core.alternateRefsCommand", neutral, ""},
    {"core.gitProxy", proxyEnvironment, ""},
    {"core.hooksPath", hooksFolder, "/dev/null"},
    {"diff.external", neutral, ""},
    {"diff.<driver>.command", neutral, ""},
    {"diff.<driver>.textconv", neutral, "cat"},
    {"merge.<driver>.driver", neutral, ""},
    {"filter.<driver>.clean", filterCommand, ""},
    {"filter.<driver>.smudge", filterCommand, ""},
    {"filter.<driver>.process", filterCommand, "", false},
    {"gpg.program", neutral, "gpg"},
    {"gpg.<format>.program", neutral, "gpg"},
    {"gpg.ssh.defaultKeyCommand", neutral, ""},
    {"credential.helper", helperList, ""},
    {"credential.<url>.helper", helperList, "", false},
    {"remote.<name>.uploadpack", refusedTransports, ""},
    {"remote.<name>.receivepack", refusedTransports, ""},
    {"remote.<name>.vcs", harmless,
     "names a remote helper installed with git or on the PATH; ext and fd are refused"},
    {"protocol.allow", refusedProtocols, ""},
    {"protocol.<name>.allow", refusedProtocols, ""},
    {"submodule.<name>.update", updateCommand, "checkout"},
    {"trailer.<token>.command", neutral, "", false},
    {"trailer.<token>.cmd", neutral, "", false},
    {"alias.*", neutral, ""},
    {"interactive.diffFilter", neutral, "cat"},
    {"difftool.<tool>.cmd", neutral, ""},
    {"difftool.<tool>.path", neutral, ""},
    {"mergetool.<tool>.cmd", neutral, ""},
    {"mergetool.<tool>.path", neutral, ""},
    {"browser.<tool>.cmd", neutral, ""},
    {"browser.<tool>.path", neutral, ""},
    {"man.<tool>.cmd", neutral, ""},
    {"man.<tool>.path", neutral, ""},
    {"guitool.<name>.cmd", neutral, ""},
    {"imap.tunnel", neutral, ""},
    {"instaweb.httpd", neutral, ""},
    {"instaweb.modulePath", neutral, ""},
    {"tar.<format>.command", neutral, "", false},
    {"sendemail.ccCmd", neutral, ""},
    {"sendemail.tocmd", neutral, ""},
    {"sendemail.<identity>.ccCmd", neutral, "", false},
    {"sendemail.<identity>.tocmd", neutral, "", false},
    {"sendemail.smtpServer", neutralWhereSet, "localhost"},
    {"sendemail.<identity>.smtpServer", neutralWhereSet, "localhost", false},
    {"diff.tool", harmless, viaTool},
    {"diff.guitool", harmless, viaTool},
    {"merge.tool", harmless, viaTool},
    {"merge.guitool", harmless, viaTool},
    {"man.viewer", harmless, viaTool},
    {"help.browser", harmless, viaBrowser},
    {"web.browser", harmless, viaBrowser},
    {"instaweb.browser", harmless, viaBrowser},
    {"include.path", harmless,
     "a file read, never run; followed, whatever its condition, for the names above"},
    {"includeIf.<condition>.path", harmless,
     "a file read, never run; followed, whatever its condition, for the names above"},
    {"uploadpack.packObjectsHook", harmless, "git reads it only from the user's own files"},
    {"gitcvs.dbDriver", harmless, "a database driver of the CVS server, not a command"},
    {"merge.<driver>.recursive", harmless,
     "names another merge driver, whose driver setting is made neutral"},
    {"diff.<driver>.cachetextconv", harmless, notAProgram},
    {"credential.useHttpPath", harmless, notAProgram},
    {"credential.<url>.useHttpPath", harmless, notAProgram, false},
    {"core.quotePath", harmless, notAProgram},
    {"column.clean", harmless, "the column layout of git clean's listing, not a program"},
    {"uploadpack.allowFilter", harmless, notAProgram},
    {"http.proxy", harmless, "the address of a proxy, not a program"},
    {"http.<url>.proxy", harmless, "the address of a proxy, not a program", false},
    {"remote.<name>.proxy", harmless, "the address of a proxy, not a program"},
    {"remote.<name>.partialclonefilter", harmless, "a filter of objects to fetch, not a program"},
    {"http.sslCAPath", harmless, "a folder of certificates, read"},
    {"http.<url>.sslCAPath", harmless, "a folder of certificates, read", false},
    {"sendemail.smtpsslcertpath", harmless, "a file or folder of certificates, read"},
    {"sendemail.<identity>.smtpsslcertpath", harmless, "a file or folder of certificates, read", false},
    {"help.htmlPath", harmless, "a folder of pages that the user's browser opens"},
};

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool isPlaceholder(std::string_view part) {
    return part == "*" || (part.size() > 2 && part.front() == '<' && part.back() == '>');
}

} // namespace

std::span<const GitProgramSetting> GitProgramSettings::all() {
    return settings;
}

std::optional<std::string_view> GitProgramSettings::nameIn(std::string_view pattern, std::string_view key) {
    const auto wanted = GitConfigKey::parse(pattern);
    const auto given = GitConfigKey::parse(key);
    if (!wanted || !given || !GitConfigKey::sameWithoutCase(wanted->section, given->section)) {
        return std::nullopt;
    }
    if (isPlaceholder(wanted->variable)) {
        return given->subsection ? std::nullopt : std::optional(given->variable);
    }
    if (!GitConfigKey::sameWithoutCase(wanted->variable, given->variable) ||
        wanted->subsection.has_value() != given->subsection.has_value()) {
        return std::nullopt;
    }
    if (!wanted->subsection) {
        return std::string_view();
    }
    if (isPlaceholder(*wanted->subsection)) {
        return given->subsection;
    }
    return *wanted->subsection == *given->subsection ? std::optional(std::string_view()) : std::nullopt;
}

std::string GitProgramSettings::withName(std::string_view pattern, std::string_view name) {
    const auto parts = GitConfigKey::parse(pattern);
    if (!parts) {
        return std::string(pattern);
    }
    if (isPlaceholder(parts->variable)) {
        return lowered(parts->section) + "." + std::string(name);
    }
    std::string middle;
    if (parts->subsection) {
        middle = std::string(isPlaceholder(*parts->subsection) ? name : *parts->subsection) + ".";
    }
    return lowered(parts->section) + "." + middle + lowered(parts->variable);
}

} // namespace korvane
