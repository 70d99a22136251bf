#include "providers/windowtitle.h"

#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"
#include "providers/projectdetector.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class WindowTitleTest : public testing::Test {
protected:
    WindowTitleTest() {
        files->addDirectory("/home/user/projects/app/.git");
        files->addDirectory("/home/user/code/group/app/.git");
        files->addDirectory("/home/user/code/.hidden/app");
        files->addDirectory("/home/user/code/group/src/lib/.git");
        files->addDirectory("/home/user/code/" + std::string(100, 'n'));
        files->addDirectory("/home/user/code/" + std::string(101, 'n'));
        files->addDirectory("/home/user/code/my app");
        files->addDirectory("/home/user/code/1app");
        files->addDirectory("/home/user/code/my-app");
        files->addDirectory("/home/user/code/\u00e9t\u00e9");
        files->addDirectory("/home/user/code/notes.d");
        files->addDirectory("/home/bob/work");
        files->setUserHome("bob", "/home/bob");
    }

    std::shared_ptr<FakeActiveAppProvider> apps = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakeFileProbe> files = std::make_shared<FakeFileProbe>("/home/user");
};

TEST_F(WindowTitleTest, SplitsAtTheThreeSeparatorsInOrder) {
    EXPECT_THAT(titleComponents(" main.c \u2014 my-app - x | y\t |  | "), ElementsAre("main.c", "my-app", "x", "y"));
    EXPECT_THAT(titleComponents("a\u2014b"), ElementsAre("a\u2014b"));
    EXPECT_THAT(titleComponents("a\t|\tb"), ElementsAre("a\t|\tb"));
    EXPECT_THAT(titleComponents(" \t "), IsEmpty());
}

TEST_F(WindowTitleTest, TurnsTitlesIntoCandidatePaths) {
    struct Case {
        std::string title;
        std::vector<std::string> paths;
    };
    const std::string n100(100, 'n');
    const Case cases[] = {
        // The file name holds a dot; the folder is looked up in each root and one level deeper.
        {"main.c \u2014 app \u2014 Editor", {"/home/user/projects/app", "/home/user/code/group/app"}},
        {"~/code/app \u2014 zsh", {"/home/user/code/app"}},
        {"~", {"/home/user"}},
        {"~bob/work", {"/home/bob/work"}},
        {"~nobody/work", {}},
        {"~bob;rm/x", {}},
        {"/etc/passwd | /no/such/place", {"/etc/passwd", "/no/such/place"}},
        {"\u2026/src/lib", {"/home/user/code/group/src/lib"}},
        {".../src/lib", {"/home/user/code/group/src/lib"}},
        {"\u2026/group/app", {"/home/user/code/group/app"}},
        {"\u2026/", {}},
        {"\u2026/.../", {}},
        {"my app", {}},
        {n100, {"/home/user/code/" + n100}},
        {std::string(101, 'n'), {}},
        {"1app", {}},
        {"my-app", {"/home/user/code/my-app"}},
        {"\u00e9t\u00e9", {"/home/user/code/\u00e9t\u00e9"}},
        {"notes.d", {}},
        {"", {}},
        // A shell prompt's title: user, host and folder, bare or after the terminal's own name.
        {"user@host: ~/code/app", {"/home/user/code/app"}},
        {"Terminal - user@host: ~/code/app", {"/home/user/code/app"}},
        {"user@host:~/code/app", {"/home/user/code/app"}},
        {"(sid)user@host: /srv/site", {"/srv/site"}},
        {"user@host: ~bob/work", {"/home/bob/work"}},
        {"user@host: /a b - vim", {"/a b"}},
        {"user@host: code/app", {}},
        {"@host: /srv", {}},
        {"user@: /srv", {}},
        {"a user@host: /srv", {}},
        {"user@host@x: /srv", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(candidatePaths(c.title, *files), c.paths) << c.title;
    }
}

TEST_F(WindowTitleTest, MatchesTheCurrentRootByItsFolderNameInAnyCase) {
    EXPECT_EQ(matchCurrentRoot("Notes \u2014 APP", "/home/user/code/app"), "/home/user/code/app");
    EXPECT_EQ(matchCurrentRoot("Notes \u2014 \u00c9T\u00c9", "/w/\u00e9t\u00e9/"), "/w/\u00e9t\u00e9/");
    EXPECT_EQ(matchCurrentRoot("Notes \u2014 application", "/home/user/code/app"), std::nullopt);
    EXPECT_EQ(matchCurrentRoot("app", std::nullopt), std::nullopt);
}

TEST_F(WindowTitleTest, AFailedTitleIsAnsweredFromTheCacheNextTime) {
    ProjectDetector detector(apps, std::make_shared<FakeProcessTable>(), files);
    apps->setTitle(7, "Untitled \u2014 Editor");
    EXPECT_EQ(detector.detectFromWindowTitle("org.example.Editor", 7), std::nullopt);
    EXPECT_TRUE(detector.isLoggedTitleFailure("title:org.example.Editor:Untitled \u2014 Editor"));

    files->addDirectory("/home/user/code/Untitled/.git");
    files->resetAccesses();
    EXPECT_EQ(detector.detectFromWindowTitle("org.example.Editor", 7), std::nullopt);
    EXPECT_EQ(files->accesses(), 0);
    // Another application with the same title is resolved afresh.
    EXPECT_EQ(detector.detectFromWindowTitle("org.example.Other", 7), "/home/user/code/Untitled");
}

TEST_F(WindowTitleTest, ATitleNamingTheCurrentFolderKeepsItForGood) {
    ProjectDetector detector(apps, std::make_shared<FakeProcessTable>(), files);
    detector.setCurrentProjectRoot("/home/user/code/group/app");
    apps->setTitle(7, "Notes \u2014 APP");
    EXPECT_EQ(detector.detectFromWindowTitle("org.example.Editor", 7), "/home/user/code/group/app");
    detector.setCurrentProjectRoot("/home/user/projects/app");
    EXPECT_EQ(detector.detectFromWindowTitle("org.example.Editor", 7), "/home/user/code/group/app");
    EXPECT_EQ(detector.currentProjectRoot(), "/home/user/code/group/app");

    apps->setTitle(7, std::nullopt);
    EXPECT_EQ(detector.detectFromWindowTitle("org.example.Editor", 7), std::nullopt);
    EXPECT_EQ(detector.currentProjectRoot(), "/home/user/code/group/app");
}

TEST_F(WindowTitleTest, TheTitleCachesStayBounded) {
    ProjectDetector detector(apps, std::make_shared<FakeProcessTable>(), files);
    files->remove("/home/user/code");
    files->remove("/home/user/projects");
    for (std::size_t i = 0; i <= ProjectDetector::cacheCapacity; ++i) {
        apps->setTitle(7, "page " + std::to_string(i));
        detector.detectFromWindowTitle("org.example.Browser", 7);
    }
    EXPECT_EQ(detector.cacheSize(), ProjectDetector::cacheCapacity);
    EXPECT_FALSE(detector.isLoggedTitleFailure("title:org.example.Browser:page 0"));
    EXPECT_TRUE(detector.isLoggedTitleFailure("title:org.example.Browser:page 1"));
}

} // namespace
} // namespace korvane
