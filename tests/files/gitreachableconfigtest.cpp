#include "platform/gitreachableconfig.h"

#include "gitrepo.h"
#include "platform/gitprogramoverrides.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/scopedenv.h"

#include <algorithm>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace korvane {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using Reach = GitReachableConfig::Reach;

Expected<GitReachableConfig, std::string> reach(const test::GitRepo& repo, Reach how) {
    ProcessRequest base;
    base.executable = "/usr/bin/git";
    base.workingDirectory = repo.root();
    base.timeout = 10;
    LinuxProcessRunner runner;
    return GitReachableConfig::read(runner, base, nullptr, how);
}

std::vector<std::string> keysOf(const GitReachableConfig& config) {
    std::vector<std::string> keys;
    for (const auto& entry : config.entries()) {
        keys.push_back(entry.key);
    }
    return keys;
}

// Every include is read whatever its condition, relative to its file or to the home folder, a loop
// ending where it began; submodules only for a reach that takes them in.
TEST(GitReachableConfigTest, ReadsEveryIncludeAndSubmoduleGitMayRead) {
    const test::GitRepo repo;
    ASSERT_TRUE(
        repo.sh("git config includeIf.onbranch:nowhere.path a && "
                "git config --file .git/a diff.fromA.textconv x && "
                "git config --file .git/a include.path ~/b && "
                "git config --file \"$HOME/b\" merge.fromHome.driver x && "
                "git config --file \"$HOME/b\" include.path \"$PWD/.git/a\" && "
                "echo '*.c filter=fromAttributes' >.gitattributes && "
                "git init -q inner && git -C inner config filter.fromInner.clean x && "
                "git -C inner -c user.name=T -c user.email=t@example.invalid commit -q --allow-empty -m i && "
                "git add inner 2>/dev/null"));
    const auto repository = reach(repo, Reach::submodules);
    ASSERT_TRUE(repository) << repository.error();
    EXPECT_THAT(keysOf(*repository), Contains("diff.fromA.textconv"));
    EXPECT_THAT(keysOf(*repository), Contains("merge.fromHome.driver"));
    EXPECT_THAT(keysOf(*repository), Contains("filter.fromInner.clean"));
    EXPECT_THAT(repository->attributeDrivers(), Contains("fromAttributes"));
    const auto alone = reach(repo, Reach::repository);
    ASSERT_TRUE(alone);
    EXPECT_THAT(keysOf(*alone), Not(Contains("filter.fromInner.clean")));
}

// An include named from a user's home folder ("~name/...") is read where git reads it.
TEST(GitReachableConfigTest, AnIncludeFromAUsersHomeFolderIsRead) {
    const test::GitRepo repo;
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    // From that folder up to the root, then down to the repository: nothing is written in it.
    std::string target = "~" + std::string(user->pw_name) + "/";
    for (const auto& part : std::filesystem::path(user->pw_dir).relative_path()) {
        target += part.empty() ? "" : "../";
    }
    target += (repo.path() / ".git/fromUser").relative_path().string();
    ASSERT_TRUE(
        repo.sh("git config --file .git/fromUser filter.fromUser.clean x && git config include.path '" +
                target + "' && git config --list | grep -q fromUser"));
    const auto reached = reach(repo, Reach::repository);
    ASSERT_TRUE(reached) << reached.error();
    EXPECT_THAT(keysOf(*reached), Contains("filter.fromUser.clean"));
}

// More nested includes than git itself follows, or an include that cannot be read, fail the reading
// with the file named; a folder outside any repository reaches nothing.
TEST(GitReachableConfigTest, AnUnreadableOrEndlessConfigurationFailsWithItsFile) {
    const test::GitRepo chained;
    ASSERT_TRUE(chained.sh("printf '[include]\\n\\tpath = c0\\n' >>.git/config && for i in $(seq 0 11); do "
                           "printf '[include]\\n\\tpath = c%d\\n' $((i + 1)) >.git/c$i; done"));
    const auto endless = reach(chained, Reach::repository);
    ASSERT_FALSE(endless);
    EXPECT_THAT(endless.error(), HasSubstr(".git/c"));

    const test::GitRepo broken;
    ASSERT_TRUE(broken.sh("git config includeIf.gitdir:/nowhere/.path bad && printf '[x' >.git/bad"));
    const auto unreadable = reach(broken, Reach::submodules);
    ASSERT_FALSE(unreadable);
    EXPECT_THAT(unreadable.error(), HasSubstr((broken.path() / ".git/bad").string()));

    const test::GitRepo none;
    std::filesystem::remove_all(none.path() / ".git");
    const test::ScopedEnv ceiling("GIT_CEILING_DIRECTORIES", none.path().parent_path().c_str());
    const auto outside = reach(none, Reach::submodules);
    ASSERT_TRUE(outside) << outside.error();
    EXPECT_TRUE(outside->entries().empty());
}

// The index of a repository of some hundred thousand files, one of them a gitlink, is listed
// whole: it lists well past the output a command's own git run may keep.
TEST(GitReachableConfigTest, TheIndexOfALargeRepositoryIsListedWhole) {
    const test::GitRepo repo;
    ASSERT_TRUE(
        repo.sh("git init -q inner && git -C inner -c user.name=T -c user.email=t@example.invalid "
                "commit -q --allow-empty -m i && git -C inner config filter.fromInner.clean x && "
                "b=$(echo x | git hash-object -w --stdin) && seq 180000 | awk -v b=$b "
                "'{ printf \"100644 %s\\tsome/deeper/folder/name/file-number-%06d.txt\\n\", b, $1 }' | "
                "git update-index --index-info && git add inner 2>/dev/null"));
    const auto reached = reach(repo, Reach::submodules);
    ASSERT_TRUE(reached) << reached.error();
    EXPECT_THAT(keysOf(*reached), Contains("filter.fromInner.clean"));
}

// Runs git for real and cancels the command once the repository has been found.
class CancelAfterDiscovery final : public ProcessRunner {
public:
    explicit CancelAfterDiscovery(CancellationToken token)
        : token_(std::move(token)) {}
    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override {
        auto outcome = runner_.run(request);
        if (std::find(request.arguments.begin(), request.arguments.end(), "rev-parse") !=
            request.arguments.end()) {
            token_.cancel();
        }
        return outcome;
    }

private:
    CancellationToken token_;
    LinuxProcessRunner runner_;
};

// The reading ends with the command's cancellation (and its time limit) also between git runs: an
// index far too large to search in the time left is not read to its end.
TEST(GitReachableConfigTest, ACancelledCommandStopsTheReadingOfTheIndex) {
    const test::GitRepo repo;
    ASSERT_TRUE(repo.sh("git commit -q --allow-empty -m x && for i in 1 2 3 4; do "
                        "truncate -s 256M .git/sharedindex.$i$i$i$i$i$i$i$i$i$i; done"));
    const CancellationToken token;
    CancelAfterDiscovery runner(token);
    ProcessRequest listing;
    listing.executable = "/usr/bin/git";
    listing.arguments = GitReachableConfig::listingArguments();
    listing.workingDirectory = repo.root();
    listing.timeout = 60;
    listing.cancellation = token;
    const auto outcome = GitProgramOverrides::read(runner, listing, Reach::submodules);
    ASSERT_FALSE(outcome);
    EXPECT_THAT(outcome.error(), HasSubstr("in time"));
}

} // namespace
} // namespace korvane
