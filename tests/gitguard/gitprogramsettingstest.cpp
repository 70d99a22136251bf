#include "gitguard/gitprogramsettings.h"

#include "gitconfigkeys.h"
#include "gitguard/gitprogramoverrides.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

namespace korvane {
namespace {

using ::testing::Contains;
using ::testing::Not;
using Setting = std::pair<std::string, std::string>;
using Treatment = GitProgramSetting::Treatment;

// Every variable of the installed git that may name a program is made neutral or said to be
// harmless, and the table names nothing that git does not know, but for the few git leaves out.
TEST(GitProgramSettingsTest, EveryProgramSettingOfTheInstalledGitIsNeutralOrHarmless) {
    const auto listed = test::gitsOwnConfigKeys();
    ASSERT_GT(listed.size(), 500u);
    std::set<std::string> table;
    for (const auto& setting : GitProgramSettings::all()) {
        table.emplace(setting.key);
        EXPECT_EQ(listed.contains(std::string(setting.key)), setting.listedByGit) << setting.key;
        if (setting.treatment == Treatment::harmless) {
            EXPECT_FALSE(setting.value.empty()) << setting.key << " says not why it is harmless";
        }
    }
    for (const auto& key : listed) {
        if (test::mayNameProgram(key)) {
            EXPECT_TRUE(table.contains(key)) << key << " may name a program and is not in the table";
        }
    }
    // "credential.<url>.*" and the like stand for every variable of the section, set for one name.
    for (const auto& wildcard : listed) {
        const std::size_t first = wildcard.find('.');
        if (!wildcard.ends_with(".*") || wildcard.rfind('.') == first) {
            continue;
        }
        const std::string section = wildcard.substr(0, first + 1);
        const std::string named = wildcard.substr(0, wildcard.size() - 1);
        for (const auto& key : listed) {
            const std::string variable = key.starts_with(section) ? key.substr(section.size()) : ".";
            if (variable.find('.') == std::string::npos && test::mayNameProgram(key)) {
                EXPECT_TRUE(table.contains(named + variable))
                    << named + variable << " may name a program and is not in the table";
            }
        }
    }
}

// A setting kept for the whole run, so that entries can be views into it.
const Setting& kept(const Setting& setting) {
    static std::deque<Setting> settings;
    return settings.emplace_back(setting);
}

std::vector<GitConfigEntry> userEntries(const std::vector<Setting>& values) {
    std::vector<GitConfigEntry> entries;
    for (const auto& setting : values) {
        const auto& [key, value] = kept(setting);
        entries.push_back({"global", "file:/home/u/.gitconfig", key, value});
    }
    return entries;
}

// The entries of a repository's own configuration file.
std::vector<GitConfigEntry> folderEntries(const std::vector<Setting>& values) {
    std::vector<GitConfigEntry> entries;
    for (const auto& setting : values) {
        const auto& [key, value] = kept(setting);
        entries.push_back({"local", "file:.git/config", key, value});
    }
    return entries;
}

std::vector<GitConfigEntry> both(std::vector<GitConfigEntry> user,
                                 const std::vector<GitConfigEntry>& folder) {
    user.insert(user.end(), folder.begin(), folder.end());
    return user;
}

// Each neutral setting, set by the folder under a name of its own, gets the neutral value, or the
// user's own where the user has one; one without a name gets it even where the folder sets nothing.
TEST(GitProgramSettingsTest, EachNeutralSettingGetsTheUsersValueOrItsOwn) {
    const test::ScopedEnv noSsh("GIT_SSH", nullptr);
    const test::ScopedEnv noAskPass("SSH_ASKPASS", nullptr);
    for (const auto& setting : GitProgramSettings::all()) {
        if (setting.treatment != Treatment::neutral && setting.treatment != Treatment::neutralWhereSet) {
            continue;
        }
        SCOPED_TRACE(std::string(setting.key));
        // git lists section and variable in lower case; a name in the middle keeps its case and dots.
        const bool nameIsVariable = setting.key.ends_with(".*") || setting.key.ends_with(">");
        const std::string key =
            GitProgramSettings::withName(setting.key, nameIsVariable ? "evil" : "Evil.One");
        const auto folder = folderEntries({{key, "evil"}});
        const auto neutral = GitProgramOverrides::compute(folder).settings();
        const std::string expected =
            setting.key == "gpg.<format>.program" ? "gpg" : std::string(setting.value);
        EXPECT_THAT(neutral, Contains(Setting{key, expected}));
        EXPECT_THAT(neutral, Not(Contains(Setting{key, "evil"})));
        EXPECT_THAT(GitProgramOverrides::compute(both(userEntries({{key, "mine"}}), folder)).settings(),
                    Contains(Setting{key, "mine"}));
        const auto untouched = GitProgramOverrides::compute({}).settings();
        const bool always = setting.treatment == Treatment::neutral &&
                            setting.key.find('<') == std::string::npos && !setting.key.ends_with(".*");
        EXPECT_EQ(std::count(untouched.begin(), untouched.end(), Setting{key, expected}), always ? 1 : 0);
    }
}

// Programs the user chose in the environment that git reads only after the setting (GIT_SSH,
// SSH_ASKPASS) stay the user's where the setting is made neutral. The ssh one becomes a shell line, so
// a path with a space and a quote must reach the real git whole.
TEST(GitProgramSettingsTest, TheUsersSshAndAskPassProgramsOfTheEnvironmentStay) {
    const test::TempDir dir;
    const auto called = dir.path() / "called";
    const auto ssh = dir.write("my ssh's", "#!/bin/sh\ntouch '" + called.string() + "'\nexit 1\n");
    std::filesystem::permissions(ssh, std::filesystem::perms::owner_all);
    const test::ScopedEnv program("GIT_SSH", ssh.c_str());
    const test::ScopedEnv noCommand("GIT_SSH_COMMAND", nullptr);
    const test::ScopedEnv askPass("SSH_ASKPASS", "/opt/ask pass");
    const test::ScopedEnv noGitAskPass("GIT_ASKPASS", nullptr);
    const auto settings = GitProgramOverrides::compute({}).settings();
    EXPECT_THAT(settings, Contains(Setting{"core.askpass", "/opt/ask pass"}));
    const auto command = std::find_if(settings.begin(), settings.end(), [](const Setting& setting) {
        return setting.first == "core.sshcommand";
    });
    ASSERT_NE(command, settings.end());
    ProcessRequest request;
    request.executable = "/usr/bin/git";
    request.arguments = {"-c", "core.sshCommand=" + command->second, "ls-remote", "user@host.invalid:x"};
    request.timeout = 10;
    LinuxProcessRunner().run(request);
    EXPECT_TRUE(std::filesystem::exists(called)) << command->second;

    // A command of the user's, read before the setting, needs nothing kept.
    const test::ScopedEnv ownCommand("GIT_SSH_COMMAND", "ssh -v");
    const test::ScopedEnv ownGitAskPass("GIT_ASKPASS", "/opt/git ask pass");
    EXPECT_THAT(GitProgramOverrides::compute({}).settings(),
                testing::IsSupersetOf({Setting{"core.sshcommand", "ssh"}, Setting{"core.askpass", ""}}));
}

// Settings whose meaning is more than one value each: a list that an empty value empties, a hooks
// folder that must not lie in the folder, protocols that run commands, a "!command" update.
TEST(GitProgramSettingsTest, ListsHooksProtocolsAndUpdateCommandsRunNothingOfTheFolders) {
    const auto folder = folderEntries({
        {"credential.helper", "!evil"},
        {"submodule.s.update", "!evil"},
        {"submodule.t.update", "rebase"},
        {"protocol.ext.allow", "always"},
    });
    const auto user = userEntries({{"credential.helper", "store"},
                                   {"credential.https://h.helper", "cache"},
                                   {"core.hookspath", ".githooks"}});
    const auto settings = GitProgramOverrides::compute(both(user, folder)).settings();
    const auto reset = std::find(settings.begin(), settings.end(), Setting{"credential.helper", ""});
    ASSERT_NE(reset, settings.end());
    EXPECT_EQ(*(reset + 1), (Setting{"credential.helper", "store"}));
    EXPECT_EQ(*(reset + 2), (Setting{"credential.https://h.helper", "cache"}));
    EXPECT_THAT(settings, Contains(Setting{"submodule.s.update", "checkout"}));
    EXPECT_THAT(settings, Not(Contains(testing::Field(&Setting::first, "submodule.t.update"))));
    EXPECT_THAT(settings, Contains(Setting{"protocol.ext.allow", "never"}));
    EXPECT_THAT(settings, Contains(Setting{"protocol.fd.allow", "never"}));
    // A relative hooks folder would be read from the folder the command runs in.
    EXPECT_THAT(settings, Contains(Setting{"core.hookspath", "/dev/null"}));
    for (const std::string own : {"/home/u/hooks", "~/hooks"}) {
        EXPECT_THAT(
            GitProgramOverrides::compute(both(userEntries({{"core.hookspath", own}}), folder)).settings(),
            Contains(Setting{"core.hookspath", own}));
    }
}

// A remote's upload-pack and receive-pack are read first-match-first, so the folder's would win over
// anything given after it: the transports that start them are refused instead, also in the user's
// GIT_ALLOW_PROTOCOL, which makes git ignore every protocol setting.
TEST(GitProgramSettingsTest, AFolderNamingARemotesPackProgramGetsNoTransportThatRunsIt) {
    const test::ScopedEnv allowed("GIT_ALLOW_PROTOCOL", "https:ext:file:ssh:fd");
    const auto plain = GitProgramOverrides::compute({});
    EXPECT_THAT(plain.settings(), Not(Contains(Setting{"protocol.file.allow", "never"})));
    EXPECT_THAT(plain.environment(), Contains(Setting{"GIT_ALLOW_PROTOCOL", "https:file:ssh"}));
    for (const std::string key : {"remote.o.uploadpack", "remote.o.receivepack"}) {
        SCOPED_TRACE(key);
        const auto folder = folderEntries({{key, "evil"}});
        const auto refused = GitProgramOverrides::compute(folder);
        EXPECT_THAT(refused.settings(), Contains(Setting{"protocol.file.allow", "never"}));
        EXPECT_THAT(refused.settings(), Contains(Setting{"protocol.ssh.allow", "never"}));
        EXPECT_THAT(refused.environment(), Contains(Setting{"GIT_ALLOW_PROTOCOL", "https"}));
        // The user's own value comes first and wins.
        EXPECT_THAT(GitProgramOverrides::compute(both(userEntries({{key, "mine"}}), folder)).settings(),
                    Not(Contains(Setting{"protocol.file.allow", "never"})));
    }
}

} // namespace
} // namespace korvane
