#include "providers/projectdetector.h"

#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"
#include "platform/linux/localfileprobe.h"
#include "support/tempdir.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

using Change = std::pair<std::optional<std::string>, std::optional<std::string>>;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::int32_t kEditorPid = 10;
constexpr std::int32_t kTerminalPid = 20;

class ProjectDetectorTest : public testing::Test {
protected:
    ProjectDetectorTest() {
        files->addDirectory("/home/user/code/app/.git");
        files->addFile("/home/user/code/app/src/main.c");
        files->addDirectory("/home/user/code/web/.git");
        detector.onProjectChanged = [this](const auto& root, const auto& name) { changes.emplace_back(root, name); };
    }

    void focusEditor(std::optional<std::string> title) {
        apps->setFrontmost(FrontmostApplication{"org.example.Editor", kEditorPid});
        apps->setTitle(kEditorPid, std::move(title));
    }

    std::shared_ptr<FakeActiveAppProvider> apps = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakeProcessTable> processes = std::make_shared<FakeProcessTable>();
    std::shared_ptr<FakeFileProbe> files = std::make_shared<FakeFileProbe>("/home/user");
    ProjectDetector detector{apps, processes, files};
    std::vector<Change> changes;
};

TEST_F(ProjectDetectorTest, LosingTheApplicationReportsOnceThatThereIsNoProject) {
    focusEditor("main.c \u2014 app \u2014 Editor");
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    EXPECT_THAT(changes, ElementsAre(Change{"/home/user/code/app", "app"}));

    apps->setFrontmost(std::nullopt);
    EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
    apps->setFrontmost(FrontmostApplication{"", 3});
    EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
    EXPECT_THAT(changes, ElementsAre(Change{"/home/user/code/app", "app"}, Change{std::nullopt, std::nullopt}));
    EXPECT_EQ(detector.currentProjectRoot(), std::nullopt);
}

TEST_F(ProjectDetectorTest, TheSameWindowAgainAsksNothingOfTheFileSystem) {
    focusEditor("main.c \u2014 app \u2014 Editor");
    ASSERT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    files->resetAccesses();
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    EXPECT_EQ(files->accesses(), 0);
    EXPECT_EQ(changes.size(), 1u);

    // Something else moved the root in between: the cached answer is applied and reported again.
    detector.setCurrentProjectRoot("/home/user/code/web");
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    EXPECT_EQ(files->accesses(), 0);
    EXPECT_THAT(changes, ElementsAre(Change{"/home/user/code/app", "app"}, Change{"/home/user/code/web", "web"},
                                     Change{"/home/user/code/app", "app"}));
}

TEST_F(ProjectDetectorTest, AnEditorKeepsItsProjectOnlyWhileTheFolderExists) {
    focusEditor("main.c \u2014 app \u2014 Editor");
    ASSERT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    focusEditor("Untitled");
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    files->remove("/home/user/code/app");
    focusEditor("Scratch");
    EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
    EXPECT_THAT(changes, ElementsAre(Change{"/home/user/code/app", "app"}, Change{std::nullopt, std::nullopt}));
}

TEST_F(ProjectDetectorTest, ATerminalNeverFallsBackToItsLastProject) {
    auto now = std::chrono::system_clock::now();
    apps->setFrontmost(FrontmostApplication{"xterm", kTerminalPid});
    processes->addProcess(21, kTerminalPid, "pts/1", "/home/user/code/app/src");
    processes->setAccessTime("pts/1", now);
    ASSERT_EQ(detector.detectProjectRoot(), "/home/user/code/app");

    // The working directory's root is remembered: the same pane again needs no walk.
    files->resetAccesses();
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");
    EXPECT_EQ(files->accesses(), 0);

    // A second pane in another repository, used at the same moment: no winner, so no project.
    processes->addProcess(22, kTerminalPid, "pts/2", "/home/user/code/web");
    processes->setAccessTime("pts/2", now + std::chrono::milliseconds(20));
    EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
    EXPECT_THAT(changes, ElementsAre(Change{"/home/user/code/app", "app"}, Change{std::nullopt, std::nullopt}));
}

// A tab in a folder of no project is looked at again with one question a folder on the way up, and a
// marker made since, in the folder or above it, is found.
TEST_F(ProjectDetectorTest, ATabsFolderOfNoProjectIsSeenToBecomeOne) {
    apps->setFrontmost(FrontmostApplication{"xterm", kTerminalPid});
    processes->setAccessTime("pts/1", std::chrono::system_clock::now());
    const std::pair<std::string, std::string> markedLater[] = {
        {"/srv/site/out", "/srv/site/out/package.json"}, {"/opt/tool/src", "/opt/tool/.git"}};
    for (const auto& [folder, marker] : markedLater) {
        files->addDirectory(folder);
        processes->addProcess(21, kTerminalPid, "pts/1", folder);
        EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
        files->resetAccesses();
        EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
        EXPECT_LE(files->accesses(), 3) << folder;
        files->addFile(marker);
        EXPECT_EQ(detector.detectProjectRoot(), marker.substr(0, marker.rfind('/'))) << marker;
    }
    // Home's own marker is passed over, not taken for the folders above it.
    files->addFile("/home/user/CLAUDE.md");
    files->addDirectory("/home/user/notes");
    processes->addProcess(21, kTerminalPid, "pts/1", "/home/user/notes");
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/notes");
}

// A title names the folder of the last prompt: the terminal's processes may have moved on since (a
// program started in another folder, tmux's shown pane), so the title only chooses among their
// projects, or speaks where they give none.
TEST_F(ProjectDetectorTest, ATerminalsTitleChoosesOnlyAmongItsPanesProjects) {
    const auto now = std::chrono::system_clock::now();
    apps->setFrontmost(FrontmostApplication{"org.gnome.Terminal", kTerminalPid});
    apps->setTitle(kTerminalPid, "user@host: ~/code/web");
    processes->addProcess(21, kTerminalPid, "pts/1", "/home/user/code/app");
    processes->setAccessTime("pts/1", now);
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");

    // Two tabs read at the same moment: the title tells them apart.
    processes->addProcess(22, kTerminalPid, "pts/2", "/home/user/code/web");
    processes->setAccessTime("pts/2", now);
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/web");
    // Also against the tab read last, whose device's time may be seconds old.
    processes->setAccessTime("pts/1", now + std::chrono::seconds(8));
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/web");
    // A title naming neither leaves the device's time to choose.
    apps->setTitle(kTerminalPid, "user@host: /tmp");
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");

    // No process with a project: the title speaks.
    processes->addProcess(21, kTerminalPid, "pts/1", "/tmp");
    processes->addProcess(22, kTerminalPid, "pts/2", "/tmp");
    apps->setTitle(kTerminalPid, "~/code/web");
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/web");
}

// The tab typed in decides at the trigger, whatever the devices' times say; between triggers, and
// where no tab alone read the keys, the times (and titles) decide as before.
TEST_F(ProjectDetectorTest, TheTabTypedInDecidesAtTheTrigger) {
    const auto now = std::chrono::system_clock::now();
    const FrontmostApplication terminal{"xfce4-terminal", kTerminalPid};
    apps->setFrontmost(terminal);
    processes->addProcess(21, kTerminalPid, "pts/1", "/home/user/code/app");
    processes->addProcess(22, kTerminalPid, "pts/2", "/home/user/code/web");
    processes->setForegroundGroup("pts/1", 21);
    processes->setForegroundGroup("pts/2", 22);
    processes->setAccessTime("pts/1", now + std::chrono::seconds(8));
    processes->setAccessTime("pts/2", now);
    processes->setReads(21, ProcessReads{10, 10});
    processes->setReads(22, ProcessReads{20, 20});
    EXPECT_EQ(detector.detectProjectRoot(), "/home/user/code/app");

    detector.takeTabBaseline();
    processes->setReads(22, ProcessReads{21, 21});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/web");
    // The next trigger, typed into the tab read last.
    processes->setReads(21, ProcessReads{12, 12});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/app");
    // The same reads without a trigger tell nothing.
    detector.takeTabBaseline();
    processes->setReads(22, ProcessReads{22, 22});
    EXPECT_EQ(detector.detectProjectRoot(terminal), "/home/user/code/app");
    // Both tabs read since: the devices' times decide.
    processes->setReads(21, ProcessReads{13, 13});
    processes->setReads(22, ProcessReads{23, 23});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/app");
    // A command runs in the first tab, its shell behind it; the second tab is read last. The first
    // trigger at the next prompt is told by the shell's reads from before the command.
    processes->setAccessTime("pts/2", now + std::chrono::seconds(16));
    processes->addProcess(23, 21, "pts/1", "/home/user/code/app");
    processes->setForegroundGroup("pts/1", 23);
    processes->setReads(23, ProcessReads{5, 5});
    detector.takeTabBaseline();
    processes->setForegroundGroup("pts/1", 21);
    processes->setReads(21, ProcessReads{16, 16});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/app");
}

// A terminal of many processes is walked once after each input, not at each trigger: then only what
// changes without a key (a job started or ended in a tab) is looked at again.
TEST_F(ProjectDetectorTest, ATriggerAfterTheWalkLooksOnlyAtWhatMayHaveChanged) {
    const auto now = std::chrono::system_clock::now();
    const FrontmostApplication terminal{"xfce4-terminal", kTerminalPid};
    apps->setFrontmost(terminal);
    // A build of 20 processes led by 100 in the first tab, read last; a shell at its prompt in the second.
    processes->addProcess(21, kTerminalPid, "pts/1", "/home/user/code/app");
    for (std::int32_t pid = 100; pid < 120; ++pid) {
        processes->addProcess(pid, pid == 100 ? 21 : 100, "pts/1", "/home/user/code/app");
        processes->setProcessGroup(pid, 100);
        processes->setReads(pid, ProcessReads{1, 1});
    }
    processes->setForegroundGroup("pts/1", 100);
    processes->addProcess(22, kTerminalPid, "pts/2", "/home/user/code/web");
    processes->setForegroundGroup("pts/2", 22);
    processes->setReads(22, ProcessReads{20, 20});
    processes->setAccessTime("pts/1", now);
    processes->setAccessTime("pts/2", now + std::chrono::seconds(8));
    // The reading as the window comes forward, then the one after a key, which looks again only at what
    // the key may have changed: each tab's job and children, its job's leader's, and their folders.
    detector.applicationActivated(terminal);
    detector.takeTabBaseline();
    processes->setReads(105, ProcessReads{3, 3});
    detector.noteInput();
    int before = processes->lookups();
    detector.takeTabBaseline();
    EXPECT_LT(processes->lookups() - before, 40) << "the build's processes are not walked one by one";

    processes->setReads(22, ProcessReads{21, 21});
    before = processes->lookups();
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/web");
    EXPECT_LT(processes->lookups() - before, 10);

    // A folder changed by the keys typed is seen, and the one of the tab typed in without a key too.
    detector.noteInput();
    processes->addProcess(22, kTerminalPid, "pts/2", "/home/user/code/app");
    EXPECT_EQ(detector.detectProjectRoot(terminal), "/home/user/code/app");
    processes->addProcess(22, kTerminalPid, "pts/2", "/home/user/code/web");
    processes->setReads(22, ProcessReads{23, 23});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/web");

    // A program started in the second tab since reads the keys, the build's 105 a few bytes: the build
    // does not win.
    processes->addProcess(23, 22, "pts/2", "/home/user/code/web");
    processes->setForegroundGroup("pts/2", 23);
    processes->setAccessTime("pts/2", now + std::chrono::seconds(16));
    processes->setReads(105, ProcessReads{5, 5});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/web");

    // That program opens another in its job (a commit's editor), which reads the keys: the reading after a
    // key sees it, though the tab's job and children are the same.
    processes->setReads(23, ProcessReads{40, 40});
    detector.noteInput();
    detector.takeTabBaseline();
    processes->addProcess(24, 23, "pts/2", "/home/user/code/web");
    processes->setProcessGroup(24, 23);
    processes->setReads(24, ProcessReads{1, 1});
    processes->setAccessTime("pts/1", now + std::chrono::seconds(24));
    detector.noteInput();
    detector.takeTabBaseline();
    processes->setReads(24, ProcessReads{3, 3});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/web");
    EXPECT_EQ(detector.triggerKeysUnread(), false);

    // One more level down (an editor started by the shell that program started) is seen once the walk is read
    // afresh, a few keys later.
    processes->addProcess(25, 24, "pts/2", "/home/user/code/web");
    processes->setProcessGroup(25, 23);
    processes->setReads(25, ProcessReads{1, 1});
    for (unsigned key = 0; key < TabWalk::readingsBetweenWalks; ++key) {
        detector.noteInput();
        detector.takeTabBaseline();
    }
    processes->setReads(25, ProcessReads{3, 3});
    EXPECT_EQ(detector.detectProjectRoot(terminal, true), "/home/user/code/web");
    EXPECT_EQ(detector.triggerKeysUnread(), false);
}

TEST_F(ProjectDetectorTest, FindsTheNearestMarkedFolderBelowHome) {
    files->addFile("/home/user/CLAUDE.md");
    files->addDirectory("/home/user/notes/drafts");
    files->addDirectory("/tmp/scratch/dir");
    files->addDirectory("/srv/site/.git");
    files->addDirectory("/etc/app");
    files->addDirectory("/home/user/pkg/package.json");
    files->addDirectory("/home/user/.ssh");
    files->addDirectory("/home/user/.aws/prod");
    files->addDirectory("/home/user/.kube/cluster/.git");
    files->addDirectory("/home/user/.config/gcloud/configurations");
    files->addDirectory("/home/user/.config/editor");
    files->addFile("/home/user/.password-store/work/.git");
    files->addFile("/home/user/.cache/pkg/package.json");
    files->addDirectory("/home/user/.cache/pkg/src");
    files->addDirectory("/home/user/.docker");
    struct Case {
        std::string from;
        std::optional<std::string> root;
    };
    const Case cases[] = {
        {"/home/user/code/app/src/main.c", "/home/user/code/app"},
        {"/home/user/code/app/src/", "/home/user/code/app"},
        {"/home/user/code/app/.git", "/home/user/code/app"},
        {"/home/user", std::nullopt},
        {"/home/user/", std::nullopt},
        {"/home/user/notes/drafts", "/home/user/notes/drafts"},
        {"/home/user/pkg", "/home/user/pkg"},
        {"/tmp/scratch/dir", std::nullopt},
        {"/srv/site", "/srv/site"},
        {"/home", std::nullopt},
        {"/", std::nullopt},
        {"/home/user/missing", std::nullopt},
        {"code/app", std::nullopt},
        // Spelled inside home, but /etc/app: never a fallback root.
        {"/home/user/../../etc/app", std::nullopt},
        {"/home/user/notes/../code/app/./src", "/home/user/code/app"},
        // Keys and credentials are never a project, whatever marks them.
        {"/home/user/.ssh", std::nullopt},
        {"/home/user/.aws/prod", std::nullopt},
        {"/home/user/.kube/cluster/.git", std::nullopt},
        {"/home/user/.config/gcloud/configurations", std::nullopt},
        {"/home/user/.password-store/work", std::nullopt},
        {"/home/user/.cache/pkg/src", std::nullopt},
        {"/home/user/.docker", std::nullopt},
        {"/home/user/.config/editor", "/home/user/.config/editor"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProjectDetector::findProjectRoot(c.from, *files), c.root) << c.from;
    }
}

TEST_F(ProjectDetectorTest, MarkersAreWholeNames) {
    files->addDirectory("/home/user/ios/App.xcodeproj");
    files->addDirectory("/home/user/swift/.swiftpm");
    EXPECT_FALSE(ProjectDetector::isProjectRoot("/home/user/ios", *files));
    EXPECT_TRUE(ProjectDetector::isProjectRoot("/home/user/swift", *files));
    EXPECT_FALSE(ProjectDetector::isProjectRoot("/home/user/none", *files));
}

TEST_F(ProjectDetectorTest, ReportsAChangeBetweenFoldersOfTheSameName) {
    detector.setCurrentProjectRoot("/home/user/a/app");
    detector.setCurrentProjectRoot("/home/user/a/app");
    detector.setCurrentProjectRoot("/home/user/b/app");
    detector.setCurrentProjectRoot(std::nullopt);
    detector.setCurrentProjectRoot(std::nullopt);
    EXPECT_THAT(changes, ElementsAre(Change{"/home/user/a/app", "app"}, Change{"/home/user/b/app", "app"},
                                     Change{std::nullopt, std::nullopt}));
}

// The root walk over the real file system agrees with the in-memory one on the same tree.
TEST(ProjectDetectorFiles, TheLocalFileSystemGivesTheSameRoots) {
    test::TempDir dir;
    std::string home = (dir.path() / "home").string();
    const char* previous = std::getenv("HOME");
    std::string saved = previous ? previous : "";
    setenv("HOME", home.c_str(), 1);

    FakeFileProbe fake(home);
    LocalFileProbe local;
    for (std::string file : {"CLAUDE.md", "code/app/.git/HEAD", "code/app/src/main.c", "notes/drafts/a.txt",
                             "code/App.xcodeproj/x", "code/lib/package.json"}) {
        dir.write("home/" + file, "");
        fake.addFile(home + "/" + file);
    }
    for (std::string from : {"", "/code/app/src/main.c", "/code/app", "/notes/drafts", "/notes", "/code",
                             "/code/lib/package.json", "/code/../code/lib", "/missing", "/.."}) {
        std::string path = home + from;
        EXPECT_EQ(ProjectDetector::findProjectRoot(path, local), ProjectDetector::findProjectRoot(path, fake))
            << path;
    }
    EXPECT_EQ(local.listDirectory(home + "/code"), fake.listDirectory(home + "/code"));
    // A folder's stamp is not given while a change to come could leave the same one, its time ahead too.
    const timespec ahead{::time(nullptr) + 3600, 0};
    const timespec times[2] = {ahead, ahead};
    ASSERT_EQ(::utimensat(AT_FDCWD, (home + "/notes").c_str(), times, 0), 0);
    EXPECT_EQ(local.changeStamp(home + "/notes"), std::nullopt);
    // A zero byte from a title must not shorten the path that is tested.
    EXPECT_FALSE(local.exists(home + "/code" + std::string(1, '\0') + "/nothing"));
    EXPECT_EQ(local.listDirectory(home + "/code" + std::string(1, '\0')), std::nullopt);
    EXPECT_EQ(ProjectDetector::findProjectRoot(home + "/code/app/src", local), home + "/code/app");
    // A link to a private folder leads nowhere either.
    dir.write("home/.ssh/id_ed25519", "");
    std::filesystem::create_symlink(home + "/.ssh", home + "/code/keys");
    EXPECT_EQ(ProjectDetector::findProjectRoot(home + "/code/keys", local), std::nullopt);
    // A marker linked to nowhere yet is found once its end is made, its own folder left as it was.
    const std::string out = (dir.path() / "out").string();
    std::filesystem::create_directories(out);
    std::filesystem::create_symlink("../shared.json", out + "/package.json");
    ::usleep(100'000);
    auto processes = std::make_shared<FakeProcessTable>();
    processes->addProcess(21, kTerminalPid, "pts/1", out);
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"xterm", kTerminalPid});
    ProjectDetector detector(apps, processes, std::make_shared<LocalFileProbe>());
    EXPECT_EQ(detector.detectProjectRoot(), std::nullopt);
    dir.write("shared.json", "");
    EXPECT_EQ(detector.detectProjectRoot(), out);
    setenv("HOME", saved.c_str(), 1);
}

} // namespace
} // namespace korvane
