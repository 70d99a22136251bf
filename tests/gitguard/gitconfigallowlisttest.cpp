#include "gitguard/gitconfigallowlist.h"

#include "gitconfigkeys.h"
#include "gitguard/gitconfigkey.h"
#include "gitguard/gitconfiglisting.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace korvane {
namespace {

using Verdict = GitConfigRule::Verdict;

bool keepsCommandsOff(const GitConfigRule& rule) {
    return rule.verdict == Verdict::refused || rule.verdict == Verdict::someValues ||
           rule.verdict == Verdict::exactValues || rule.verdict == Verdict::schemeAddress ||
           rule.verdict == Verdict::noShellSyntax || rule.verdict == Verdict::ownHooks ||
           rule.verdict == Verdict::networkBase || rule.verdict == Verdict::workTreeFile;
}

// Every key the installed git knows has a rule of its own (not merely the default for unknown keys),
// no rule is stale or hidden behind an earlier one, and every key that may name a program is refused.
TEST(GitConfigAllowListTest, EveryKeyOfTheInstalledGitHasARuleAndEveryRuleIsReached) {
    const auto listed = test::gitsOwnConfigKeys();
    ASSERT_GT(listed.size(), 500u);
    std::map<const GitConfigRule*, std::string> firstKeyOf;
    for (const auto& key : listed) {
        const GitConfigRule* rule = GitConfigAllowList::ruleFor(key);
        EXPECT_NE(rule, nullptr) << key << " has no rule";
        if (rule) {
            firstKeyOf.emplace(rule, key);
        }
    }
    for (const auto& rule : GitConfigAllowList::all()) {
        SCOPED_TRACE(std::string(rule.key));
        EXPECT_EQ(GitConfigAllowList::ruleFor(rule.key), &rule) << "an earlier rule takes its keys";
        EXPECT_EQ(firstKeyOf.contains(&rule), rule.listedByGit) << "git lists no key of it, or does";
        EXPECT_EQ(rule.detail.empty(), !keepsCommandsOff(rule)) << "says not why, or says more";
    }
    // A key the heuristic flags but whose value is a yes-or-no or a filter of git's own, and the hooks
    // folder, which the one Korvane sets outranks.
    const std::set<std::string> notPrograms = {"core.quotePath", "column.clean", "uploadpack.allowFilter",
                                               "remote.<name>.partialclonefilter", "core.hooksPath"};
    const auto expectRefused = [&](const std::string& key) {
        const GitConfigRule* rule = GitConfigAllowList::ruleFor(key);
        EXPECT_TRUE(rule && keepsCommandsOff(*rule)) << key << " may name a program and is allowed";
    };
    for (const auto& key : listed) {
        if (test::mayNameProgram(key) && !notPrograms.contains(key)) {
            expectRefused(key);
        }
        // "credential.<url>.*" stands for every variable of its section, set for one name.
        const std::size_t first = key.find('.');
        if (key.ends_with(".*") && key.rfind('.') != first) {
            const std::string section = key.substr(0, first + 1);
            for (const auto& plain : listed) {
                const std::string variable = plain.substr(std::min(section.size(), plain.size()));
                if (plain.starts_with(section) && variable.find('.') == std::string::npos &&
                    test::mayNameProgram(plain)) {
                    expectRefused(key.substr(0, key.size() - 1) + variable);
                }
            }
        }
    }
}

// Key shapes as a folder may write them and git lists them: cases, dots in names, empty names,
// three-part aliases, values that run a command, and the keys tools write for themselves, each judged
// with the list of the installed git.
TEST(GitConfigAllowListTest, KeyShapesAndValuesGetTheirVerdict) {
    const std::string allowed;
    const std::string unknown = "not known to be harmless";
    const std::string alias = "defines an alias";
    const std::string driver = "defines a driver, whose commands git runs";
    const std::string updates = "harmless only as one of checkout|rebase|merge|none";
    const std::string onlyError = "harmless only as one of error";
    const std::string onlyTrue = "harmless only as one of true|yes|on|1";
    const std::string local = "not an address over the network (a push on this machine runs its hooks)";
    const std::string web = "configures git's web transport (proxies, certificates, cookies, headers), which "
                            "may redirect its traffic or read files";
    const std::string rewrites = "redirects an address or its traffic, harmless only as an address over the "
                                 "network whatever follows (scheme://… or user@host:…)";
    const std::string lfs =
        "configures git-lfs, which runs programs and reads files and addresses named there";
    const std::string lfsAddress = "names where git-lfs goes, which may be a folder on this machine";
    const std::string svn =
        "configures git svn, which runs programs and reads files and addresses named there";
    const std::string svnAddress = "harmless only as an address of http|https|svn|svn+ssh";
    const std::string elsewhere = "names repositories that git is run in";
    const std::string gitflow =
        "is read by git flow, which evaluates it as shell code, harmless only without shell syntax";
    const std::string annex =
        "configures git-annex, which runs programs and reads files and addresses named there";
    const std::string gcrypt =
        "configures git-remote-gcrypt, which hands options named there to gpg and rsync";
    struct Case {
        std::string key;
        std::optional<std::string> value;
        std::string expected;
    };
    const Case cases[] = {
        {"alias.x", "!sh", alias},
        {"alias.x.y", "!sh", alias},
        {"ALIAS.x", "log", alias},
        {"alias..x", "!sh", alias},
        {"Alias.Some.Dotted.Name", std::nullopt, alias},
        {"pretty.x.y", "%G?", "defines a format alias"},
        {"includeIf.onbranch:a/b.path", "x", "includes another file"},
        {"includeif.gitdir:/a.b/.path", "x", "includes another file"},
        {"include.path", "x", "includes another file"},
        {"filter.a.b.clean", "sh", driver},
        {"diff.a.b.textconv", "sh", driver},
        {"remote.o.vcs", "x", "names a program run for the remote"},
        {"remote.o.url", "https://h/r", allowed},
        {"remote.release.1.2.URL", "https://h/r", allowed},
        {"remote..url", "https://h/r", allowed},
        {"url.https://h.x/.insteadOf", "https://e/", allowed},
        {"url.git@h.x:.pushInsteadOf", "https://e/", allowed},
        {"url./srv/x/.insteadOf", "https://e/", rewrites},
        {"url.h.x:.insteadOf", "h:", rewrites},
        {"http.https://h.x.sslCAInfo", "/etc/x", web},
        {"credential.https://h.x.helper", "!sh", "configures a credential helper, a program"},
        {"credential.helper", "!sh", "configures a credential helper, a program"},
        {"submodule.s.update", "checkout", allowed},
        {"submodule.s.update", "Rebase", allowed},
        {"submodule.a.b.update", "none", allowed},
        {"submodule.s.update", "!cmd", updates},
        {"submodule.s.update", " checkout", updates},
        {"submodule.s.update", "checkout|rebase", updates},
        {"submodule.s.update", std::nullopt, updates},
        {"branch.main.rebase", "interactive",
         "harmless only as one of true|false|yes|no|on|off|1|0|merges|m"},
        {"pull.rebase", "i", "harmless only as one of true|false|yes|no|on|off|1|0|merges|m"},
        {"transfer.credentialsInUrl", "allow", "harmless only as one of warn|die"},
        {"transfer.credentialsinurl", "DIE", allowed},
        {"core.worktree", "../../../s", allowed},
        {"CORE.WorkTree", "/elsewhere", allowed},
        {"core.fsmonitor", "sh", "starts a program, harmless only as one of false|no|off|0"},
        {"core.fsmonitor", std::nullopt, "starts a program, harmless only as one of false|no|off|0"},
        {"core.fsmonitor", "false", allowed},
        {"core.fsmonitor", "Off", allowed},
        {"pager.log", "sh", "starts a program"},
        {"pager.x.y", "sh", "starts a program"},
        // git reads none of these: no key of its list stands for them.
        {"core.worktree.x", "y", allowed},
        {"frobnicate.x", "1", allowed},
        {"fetch.FSCK.badDate", "ignore", allowed},
        {"fsck.a.b", "ignore", allowed},
        {"core", "1", unknown},
        {".x", "1", unknown},
        {"core.", "1", unknown},
        {"core.bare", std::nullopt, allowed},
        {"color.diff.meta", "red", allowed},
        {"fetch.fsck.badDate", "error", allowed},
        {"fetch.fsck.skiplist", "x", "names a file git reads"},
        {"feature.experimental", "true", allowed},
        {"feature.future", "true", "turns on a feature this list does not know"},
        {"gc.refs/heads/*.reflogexpire", "never", allowed},
        {"trailer.sign.cmd", "sh", "defines a trailer, whose command git runs"},
        {"trailer.sign.key", "Signed-off-by: ", allowed},
        {"trailer.sign.ifexists", "replace", allowed},
        {"diff.py.xfuncname", "^def .*", allowed},
        {"diff.img.binary", "true", allowed},
        {"diff.py.wordRegex", "[^[:space:]]+", allowed},
        {"http.lowSpeedLimit", "1000", allowed},
        {"http.sslVerify", "true", allowed},
        {"http.sslVerify", "false", "switches off a protection, harmless only as one of true|yes|on|1"},
        {"credential.https://h.x.username", "u", allowed},
        {"annex.uuid", "6b1c", allowed},
        {"annex.backend", "SHA256E", allowed},
        {"commit.template", ".gitmessage", allowed}, // the caller looks where it leads
        {"maintenance.repo", "/srv/x", elsewhere},
        {"scalar.repo", "/srv/x", elsewhere},
        {"fetch.uriprotocols", "file", "decides which transports git may use"},
        // A folder's settings must not lower the checks of what git takes in.
        {"fetch.fsck.badDate", "ignore", onlyError},
        {"fetch.fsck.badDate", "warn", onlyError},
        {"fetch.fsck.badDate", "ERROR", onlyError},
        {"receive.fsck.gitmodulesUrl", "ignore", onlyError},
        {"receive.fsck.gitmodulesUrl", "error", allowed},
        {"fsck.zeroPaddedFilemode", "ignore", onlyError},
        {"fsck.zeroPaddedFilemode", "error", allowed},
        {"receive.fsck.skipList", "x", "names a file git reads"},
        {"transfer.fsckObjects", "true", allowed},
        {"fetch.fsckObjects", "false", onlyTrue},
        {"receive.fsckObjects", "0", onlyTrue},
        {"transfer.fsckObjects", "no", onlyTrue},
        // What other tools write, as they write it, and what the programs git starts read beside it.
        {"lfs.repositoryformatversion", "0", allowed},
        {"filter.lfs.clean", "git-lfs clean -- %f", allowed},
        {"filter.lfs.smudge", "git-lfs smudge -- %f", allowed},
        {"filter.lfs.smudge", "git-lfs smudge --skip -- %f", allowed},
        {"filter.lfs.process", "git-lfs filter-process", allowed},
        {"filter.lfs.required", "true", allowed},
        {"filter.lfs.clean", "git-lfs clean -- %f; sh", "harmless only as one of git-lfs clean -- %f"},
        {"filter.lfs.clean", "GIT-LFS clean -- %f", "harmless only as one of git-lfs clean -- %f"},
        {"filter.lfs.clean", "./git-lfs clean -- %f", "harmless only as one of git-lfs clean -- %f"},
        {"filter.lfs.process", "git-lfs smudge -- %f",
         "harmless only as one of git-lfs filter-process|"
         "git-lfs filter-process --skip"},
        {"filter.LFS.clean", "git-lfs clean -- %f", driver},
        {"filter.lfs.textconv", "git-lfs clean -- %f", driver},
        {"lfs.https://h.x/r.git/info/lfs.access", "basic", allowed},
        {"lfs.https://h.x/r.git/info/lfs.locksverify", "false", allowed},
        {"lfs.fetchexclude", "big/*", allowed},
        {"lfs.customtransfer.x.path", "sh", lfs},
        {"lfs.extension.x.clean", "sh %f", lfs},
        {"lfs.standalonetransferagent", "x", lfs},
        {"lfs.url", "file:///srv/x", lfs},
        {"remote.o.lfsurl", "/srv/x", lfsAddress},
        {"remote.lfsdefault", "evil", lfsAddress},
        {"core.hooksPath", ".husky/_", allowed},
        {"core.hooksPath", "./.husky/_", allowed},
        {"core.hooksPath", ".githooks", allowed},
        {"core.hooksPath", "/srv/h", allowed},
        {"branch.main.vscode-merge-base", "origin/main", allowed},
        {"branch.main.github-pr-owner-number", "o#r#1", allowed},
        {"branch.main.gh-merge-base", "main", allowed},
        {"remote.origin.gh-resolved", "base", allowed},
        {"gitreview.remote", "origin", allowed},
        {"gitreview.username", "u", allowed},
        {"svn-remote.svn.url", "https://svn.h.x/r/trunk", allowed},
        {"svn-remote.svn.url", "svn+ssh://h.x/r", allowed},
        {"svn-remote.svn.fetch", ":refs/remotes/git-svn", allowed},
        {"svn-remote.svn.branches-maxrev", "7", allowed},
        {"svn-remote.svn.url", "file:///srv/svn", svnAddress},
        {"svn-remote.svn.url", "/srv/svn", svnAddress},
        {"svn-remote.svn.placeholder-filename", ".keep", svn},
        {"svn.authorsprog", "sh", svn},
        {"core.fscache", "true", allowed},
        {"gui.gcwarning", "false", allowed},
        {"gui.diffopts", "--output=/srv/x",
         "configures git gui, which hands options and files named there to git"},
        {"credential.https://dev.azure.com.usehttppath", "true", allowed},
        {"credential.validate", "false", allowed},
        {"credential.validate", "sh", "harmless only as one of true|false|yes|no|on|off|1|0"},
        {"gitflow.branch.master", "main", allowed},
        {"gitflow.prefix.versiontag", "", allowed},
        {"gitflow.path.hooks", "/x", allowed}, // the caller compares it with the git directory's hooks
        {"gitflow.prefix.feature", "feature/", allowed},
        {"gitflow.branch.feature/x.base", "develop", allowed},
        {"gitflow.origin", "origin", allowed},
        {"gitflow.prefix.versiontag", "v$(sh)", gitflow},
        {"gitflow.hotfix.finish.message", "\"; sh; \"", gitflow},
        {"branch.main.gh-merge-base", "release/1.0", allowed},
        // The program keys of the `git-*` programs Debian ships: git-clang-format, git-annex,
        // git-remote-gcrypt, git-extras, git-publish and git-crypt.
        {"clangformat.binary", "/srv/m.sh", "names the program git clang-format runs"},
        {"clangFormat.style", "file", allowed},
        {"annex.freezecontent-command", "chmod -w %path", annex},
        {"annex.security.allowed-ip-addresses", "all", annex},
        {"remote.o.annex-shell", "sh", annex},
        {"remote.o.Annex-Ssh-Options", "-oProxyCommand=sh", annex},
        {"remote.o.annexUrl", "file:///srv/x", annex},
        {"gcrypt.gpg-args", "--photo-viewer=sh", gcrypt},
        {"remote.o.gcrypt-rsync-put-flags", "-e sh", gcrypt},
        {"git-extras.info.log", "sh x", "is a command git info runs"},
        {"changelog.opts", "--output=x", "hands options to git log, which may name files it writes"},
        {"changelog.format", "%G?", "a format of git log, which may have gpg check the folder's signatures"},
        {"branch.topic.gitpublishcccmd", "sh", "starts a program"},
        {"gitpublishprofile.p.cccmd", "sh", "starts a program"},
        {"gitpublishprofile.p.signingkey", "k", "makes git publish sign, which starts gpg"},
        {"git-crypt.repostatedir", "x", "names the folder of keys git-crypt reads and writes"},
        // And those of tools beside: git town's browser, git-branchless's test commands.
        {"git-town.browser", "make", "names the browser git town starts"},
        {"branchless.test.alias.default", "make", "is a command git-branchless's test runs"},
        {"gui.wmstate", "normal", allowed},
        {"gui.geometry", "1205x669+52+52 248 228", allowed},
        {"core.longpaths", "true", allowed},
        {"http.postBuffer", "524288000", allowed},
        {"http.version", "HTTP/1.1", allowed},
        {"http.https://h.x.postBuffer", "1", web},
        {"log.showSignature", "false", allowed},
        {"log.showSignature", "true", "harmless only as one of false|no|off|0"},
        // An address on this machine, or one no rule of git's own leads over the network.
        {"submodule.s.url", "../s.git", local},
        {"remote.o.pushurl", "/srv/x", local},
        {"remote.o.url", "", local},
        {"remote.o.url", "rsync://h.x/r", local},
        {"remote.o.url", std::nullopt, local},
        {"branch.main.remote", "origin", allowed},
        {"branch.main.remote", ".", local},
        {"branch.main.pushRemote", "team/origin", allowed},
        {"remote.pushDefault", "h.x:r", allowed},
    };
    const GitListedKeys listed = test::installedGitsKeys();
    ASSERT_GT(listed.keys().size(), 500u);
    for (const auto& [key, value, expected] : cases) {
        const auto refusal = GitConfigAllowList::refusal(key, value, &listed);
        EXPECT_EQ(refusal.value_or(""), expected) << key << " = " << value.value_or("(none)");
    }
    EXPECT_EQ(GitConfigAllowList::ruleFor("core.worktree")->verdict, Verdict::ownWorkTree);
    // A key no rule names that the git which runs lists (a newer one, say) is one it reads, and waits;
    // so does every such key where that git gives no list.
    const auto newer = GitListedKeys::parse(
        "\ncore.readNew\nbranch.<name>.github-pr-owner-number\n'git help config' for more\n");
    EXPECT_EQ(GitConfigAllowList::refusal("core.readnew", "x", &newer), unknown);
    EXPECT_EQ(GitConfigAllowList::refusal("branch.Main.github-pr-owner-number", "x", &newer), unknown);
    EXPECT_EQ(GitConfigAllowList::refusal("branch.main.github-pr-owner-number", "x"), unknown);
    EXPECT_EQ(GitConfigAllowList::refusal("core.fscache", "true", &newer), std::nullopt);
}

// The keys a pattern stands for and some it does not: placeholders filled with names of every shape,
// any variable named, and the case of every part changed.
std::vector<std::string> keysAround(std::string_view pattern) {
    std::vector<std::string> keys;
    for (const std::string name : {"Main", "a.b", ""}) {
        std::string key(pattern);
        for (std::size_t open = key.find('<'); open != std::string::npos; open = key.find('<', open + 1)) {
            const std::size_t close = key.find('>', open);
            if (close == std::string::npos) {
                break;
            }
            key.replace(open, close + 1 - open, name);
            open += name.size();
        }
        if (key.ends_with(".*")) {
            key.replace(key.size() - 1, 1, "someVariable");
        }
        std::string upper = key;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        keys.insert(keys.end(), {key, upper, "x" + key, key.substr(0, key.rfind('.'))});
    }
    return keys;
}

// The tables answer every key as trying each pattern in order does: the allow-list's rules and the list
// of the installed git, for the keys around each of their patterns.
TEST(GitConfigAllowListTest, LookupsAnswerAsTryingEveryPatternInOrder) {
    const GitListedKeys listed = test::installedGitsKeys();
    ASSERT_GT(listed.keys().size(), 500u);
    const auto firstOf = [](const auto& patterns, std::string_view key, auto keyOf) {
        const auto given = GitConfigKey::parse(key);
        for (const auto& pattern : patterns) {
            const auto parts = GitConfigKey::parse(keyOf(pattern));
            if (given && parts && GitConfigKey::matches(*parts, *given)) {
                return &pattern;
            }
        }
        return static_cast<decltype(&*std::begin(patterns))>(nullptr);
    };
    std::vector<std::string> patterns(listed.keys().begin(), listed.keys().end());
    for (const auto& rule : GitConfigAllowList::all()) {
        patterns.emplace_back(rule.key);
    }
    patterns.insert(patterns.end(), {"core", ".x", "core.", "a..b", "x.<>.y", "<a>.b"});
    for (const auto& pattern : patterns) {
        for (const auto& key : keysAround(pattern)) {
            EXPECT_EQ(GitConfigAllowList::ruleFor(key),
                      firstOf(GitConfigAllowList::all(), key, [](const auto& rule) { return rule.key; }))
                << key;
            EXPECT_EQ(listed.lists(key), firstOf(listed.keys(), key,
                                                 [](const std::string& listedKey) -> const std::string& {
                                                     return listedKey;
                                                 }) != nullptr)
                << key;
        }
    }
}

// Which transport git itself starts for `address` in `repository`, by the name its trace gives the
// child: "transport/file" for a path on this machine, "transport/ssh", "remote-<helper>", or "daemon"
// where it starts none (git://). Nothing leaves the machine: ssh (taken as OpenSSH, so that a port does
// not make git ask it which it is) and the git:// proxy are `false`, and http and ftp go to a proxy on a
// closed port of the loopback.
std::string transportGitStarts(const std::string& address, const std::filesystem::path& repository) {
    const auto trace = repository / "trace";
    std::filesystem::remove(trace);
    ProcessRequest request;
    request.executable = "/usr/bin/git";
    request.arguments = {"-c", "http.proxy=http://127.0.0.1:9", "ls-remote", address};
    request.workingDirectory = repository.string();
    request.environment = {{"GIT_TRACE2_EVENT", trace.string()},
                           {"GIT_SSH_COMMAND", "false"},
                           {"GIT_SSH_VARIANT", "ssh"},
                           {"GIT_PROXY_COMMAND", "false"}};
    request.timeout = 10;
    LinuxProcessRunner().run(request);
    const std::string events = test::readFile(trace);
    const std::string field = "\"child_class\":\"";
    for (auto at = events.find(field); at != std::string::npos; at = events.find(field, at + 1)) {
        const auto start = at + field.size();
        const std::string named = events.substr(start, events.find('"', start) - start);
        if (named.starts_with("transport/") || named.starts_with("remote-")) {
            return named;
        }
    }
    return "daemon";
}

// Remote addresses as git itself goes to them: a path on this machine, a file address, or one that
// git hands to a helper it does not ship is refused; an address over the network is allowed.
TEST(GitConfigAllowListTest, AnAddressIsAllowedOnlyWhereGitGoesOverTheNetwork) {
    const test::TempDir home;
    const test::ScopedEnv homeEnv{"HOME", home.path().c_str()};
    const test::ScopedEnv noSystem{"GIT_CONFIG_NOSYSTEM", "1"};
    const test::TempDir repository;
    ASSERT_EQ(std::system(("git init -q '" + repository.path().string() + "'").c_str()), 0);
    struct Case {
        std::string address;
        std::string transport;
        bool allowed;
    };
    const Case cases[] = {
        {".", "transport/file", false},
        {"..", "transport/file", false},
        {"./evil.git", "transport/file", false},
        {"evil", "transport/file", false},
        {"/srv/x.git", "transport/file", false},
        {"~/x", "transport/file", false},
        {"a/b:c", "transport/file", false},
        {"./h.x:r", "transport/file", false},
        {"file:///srv/x", "transport/file", false},
        {"file://h.x/srv/x", "transport/file", false},
        {"https://h.x/r.git", "remote-https", true},
        {"http://h.x/r", "remote-http", true},
        {"ftp://h.x/r", "remote-ftp", true},
        {"ftps://h.x/r", "remote-ftps", true},
        {"ssh://h.x/r", "transport/ssh", true},
        {"ssh://u@h.x:22/~/r", "transport/ssh", true},
        {"git+ssh://h.x/r", "transport/ssh", true},
        {"ssh+git://h.x/r", "transport/ssh", true},
        {"git://h.x/r", "daemon", true},
        {"h.x:r", "transport/ssh", true},
        {"u@h.x:/srv/r", "transport/ssh", true},
        {"[h.x:22]:r", "transport/ssh", true},
        {"file:x", "transport/ssh", true},
        {"c:/x", "transport/ssh", true},
        {"h.x:", "transport/ssh", true},
        {"FILE:///srv/x", "remote-FILE", false},
        {"Https://h.x/r", "remote-Https", false},
        {"foo://h.x/r", "remote-foo", false},
        {"foo::/srv/x", "remote-foo", false},
        {"http::https://h.x/r", "remote-http", false},
        {"a+b.c-d://h.x", "remote-a+b.c-d", false},
        {"::x", "remote-", false},
    };
    for (const auto& [address, transport, allowed] : cases) {
        SCOPED_TRACE(address);
        EXPECT_EQ(transportGitStarts(address, repository.path()), transport);
        EXPECT_EQ(!GitConfigAllowList::refusal("remote.origin.url", address), allowed);
        EXPECT_EQ(!GitConfigAllowList::refusal("submodule.s.url", address), allowed);
    }
}

// Runs git's own commands on real repositories and lists what they wrote into each repository's
// configuration: every entry must be allowed, so that such a folder runs the user's commands as
// before.
class WhatGitWritesItself : public testing::Test {
protected:
    bool sh(const std::string& command) const {
        return std::system(("cd '" + root_.path().string() + "' && " + command).c_str()) == 0;
    }

    // The folder's own entries of the configuration that git reads with `where` (-C or --git-dir), views
    // into a listing the fixture keeps.
    std::vector<GitConfigEntry> folderEntries(const std::string& where, const std::filesystem::path& path) {
        ProcessRequest request;
        request.executable = "/usr/bin/git";
        request.arguments = {where, path.string(), "config", "--list", "--show-scope", "--show-origin", "-z"};
        const auto outcome = LinuxProcessRunner().run(request);
        EXPECT_TRUE(outcome && outcome->succeeded()) << path;
        const std::string& listing = listings_.emplace_back(outcome ? outcome->output : "");
        std::vector<GitConfigEntry> entries;
        for (auto& entry : GitConfigListing::parse(listing, true)) {
            if (entry.scope == "local" || entry.scope == "worktree") {
                entries.push_back(std::move(entry));
            }
        }
        return entries;
    }

    std::deque<std::string> listings_;
    test::TempDir home_;
    test::TempDir root_;
    test::ScopedEnv homeEnv_{"HOME", home_.path().c_str()};
    test::ScopedEnv xdgEnv_{"XDG_CONFIG_HOME", home_.path().c_str()};
    test::ScopedEnv noSystem_{"GIT_CONFIG_NOSYSTEM", "1"};
    test::ScopedEnv noGlobal_{"GIT_CONFIG_GLOBAL", nullptr};
    test::ScopedEnv noDir_{"GIT_DIR", nullptr};
    test::ScopedEnv noWorkTree_{"GIT_WORK_TREE", nullptr};
};

TEST_F(WhatGitWritesItself, IsAllowed) {
    const std::string files = "git -c protocol.file.allow=always ";
    // An address over the network, as a download's, that reaches the folder src here.
    const std::string source = "https://example.invalid/src";
    const std::string commands[] = {
        "git config --global user.name T && git config --global user.email t@example.invalid",
        "git config --global init.defaultBranch main",
        "git config --global url.\"file://$PWD/\".insteadOf https://example.invalid/",
        "git init -q sub && cd sub && echo b >b && git add b && git commit -qm b",
        "git init -q src && cd src && mkdir d && echo c >d/c && git add d && git commit -qm c",
        "cd src && git config uploadpack.allowFilter true && git config user.name U",
        "cd src && git config user.email u@example.invalid && git remote add origin " + source,
        "cd src && " + files + "submodule add -q ../sub s && git commit -qm s",
        files + "clone -q --recurse-submodules " + source + " recursive",
        "git clone -q --bare " + source + " bare.git && git clone -q --mirror " + source + " mirror.git",
        "git clone -q --filter=blob:none " + source + " partial",
        "git clone -q " + source + " plain && cd plain && " + files + "submodule update -q --init",
        // A submodule whose repository sits in its work tree, then absorbed into the modules folder.
        "cd plain && git clone -q https://example.invalid/sub inner",
        "cd plain && " + files + "submodule add -q ../sub inner >/dev/null",
        "cd plain && git submodule absorbgitdirs 2>/dev/null",
        "cd plain && git submodule deinit -q -f s",
        "cd plain && git worktree add -q ../linked",
        "cd plain && git sparse-checkout init --cone && git sparse-checkout set d",
        "cd linked && git sparse-checkout init --cone && git sparse-checkout set d",
        "cd plain && git remote add other https://example.invalid/sub && git fetch -q other",
        "cd plain && git branch -q --set-upstream-to=other/main",
    };
    for (const auto& command : commands) {
        ASSERT_TRUE(sh(command)) << command;
    }
    // Needs no scheduler, but an old git may lack it.
    sh("cd plain && git maintenance register 2>/dev/null");

    std::set<std::string> seen;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.path())) {
        const auto& path = entry.path();
        const bool workTree = std::filesystem::exists(path / ".git");
        const bool gitDir = std::filesystem::is_regular_file(path / "HEAD") &&
                            std::filesystem::is_regular_file(path / "config");
        if (!entry.is_directory() || (!workTree && !gitDir)) {
            continue;
        }
        for (const auto& found : folderEntries(workTree ? "-C" : "--git-dir", path)) {
            seen.insert(std::string(found.scope) + " " + std::string(found.key));
            EXPECT_EQ(GitConfigAllowList::refusal(found.key, found.value), std::nullopt)
                << path << ": " << found.key << " = " << found.value.value_or("(none)");
        }
    }
    // The commands above did write what they are run for.
    for (const std::string key :
         {"local core.worktree", "local submodule.active", "local remote.origin.mirror",
          "local remote.origin.partialclonefilter", "local extensions.worktreeconfig",
          "worktree core.sparsecheckoutcone", "local branch.main.remote", "local user.email"}) {
        EXPECT_TRUE(seen.contains(key)) << key;
    }
}

} // namespace
} // namespace korvane
