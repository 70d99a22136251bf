// The completion flow inside the whole shell: what the user types, accepts, escapes and saves.
#include "shellfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::Contains;
using CompletionFlowTest = test::ShellFixture;

TEST_F(CompletionFlowTest, AcceptedSnippetsReplaceTheTriggerAndQueryAndNothingElse) {
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    type("Dear Bob, ;;sig");
    ASSERT_TRUE(popup->isVisible());
    const int hidden = popup->orderOutCount;
    EXPECT_TRUE(press(keycode::returnKey));
    EXPECT_EQ(field->text(), "Dear Bob, Best,\nAda");
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(popup->orderOutCount, hidden + 1) << "accepting hides the popup once";
    EXPECT_FALSE(sessionActive());

    // The caret ends where the snippet marks it.
    type(" ;;fn");
    press(keycode::returnKey);
    EXPECT_EQ(field->beforeCaret(), "Dear Bob, Best,\nAda foo(");
    EXPECT_EQ(field->afterCaret(), ")bar");
}

// The scoped query is typed back behind the trigger, so the document holds exactly what the detector
// counts: the next insertion removes the trigger and query and not a character of the user's text.
TEST_F(CompletionFlowTest, AScopeRowRewriteLeavesDocumentAndDetectorInStep) {
    type("keep ;;@");
    const SearchRow* row = coordinator->popupController().viewModel().selectedSearchRow();
    ASSERT_TRUE(row && row->kind.asScope()) << "the scope picker selects a scope first";
    const std::string alias = row->kind.asScope()->definition.primaryAlias;
    press(keycode::returnKey);
    EXPECT_EQ(field->text(), "keep ;;@" + alias + " ");
    const std::size_t typed = coordinator->triggerDetector().typedCharacterCount();
    EXPECT_EQ(typed + 2, field->text().size() - std::string("keep ").size());
    EXPECT_TRUE(sessionActive());
}

// A terminal busy drawing had not handed the trigger's keys to any tab when they were counted, though a tab
// following a log had read: a few milliseconds later the tabs are read again, and the open popup moves to
// the tab that read them. The tabs' baseline taken as its window came forward, and after each key, was read
// off the main thread.
TEST_F(CompletionFlowTest, KeysNoTabHadReadAtTheTriggerAreLookedForAgain) {
    constexpr std::int32_t terminal = 700;
    const auto epoch = std::chrono::system_clock::time_point() + std::chrono::hours(24 * 20000);
    activeApp->setFrontmost(FrontmostApplication{"xfce4-terminal", terminal});
    processTable->addProcess(terminal, 1);
    for (std::int32_t tab : {1, 2, 3}) {
        const std::string device = "pts/" + std::to_string(tab);
        fileProbe->addDirectory("/home/user/code/tab" + std::to_string(tab) + "/.git");
        processTable->addProcess(terminal + tab, terminal, device,
                                 "/home/user/code/tab" + std::to_string(tab));
        processTable->setForegroundGroup(device, terminal + tab);
        processTable->setReads(terminal + tab, ProcessReads{10, 10});
        processTable->setAccessTime(device, epoch);
    }
    workspace->activate({"xfce4-terminal", "Terminal", terminal});
    EXPECT_EQ(processTable->readsAsked(), 0);
    scheduler.runUntilIdle();
    EXPECT_GT(processTable->readsAsked(), 0);
    // A key typed there wakes the main thread never: the tabs are read after it in the background.
    const int asked = processTable->readsAsked();
    const std::size_t tasks = scheduler.pendingTaskCount();
    field->type("x");
    TapEvent key;
    key.characters = "x";
    tapBackend->lastTap()->deliver(key);
    EXPECT_EQ(scheduler.pendingTaskCount(), tasks);
    scheduler.advance(ShellLifecycle::tabBaselineDelay);
    EXPECT_GT(processTable->readsAsked(), asked);
    // The third tab follows a log meanwhile: its lines are not the keys.
    processTable->setReads(terminal + 3, ProcessReads{13, 310});
    type(";");
    field->type(";");
    TapEvent second;
    second.characters = ";";
    tapBackend->lastTap()->deliver(second);
    scheduler.runUntilIdle();
    ASSERT_TRUE(sessionActive());
    EXPECT_EQ(coordinator->completionFlow().currentRoot(), std::nullopt);
    // The look again measures from before the trigger: the log's one short line since the first look is no key.
    processTable->setReads(terminal + 2, ProcessReads{12, 12});
    processTable->setReads(terminal + 3, ProcessReads{14, 311});
    settle();
    EXPECT_EQ(coordinator->completionFlow().currentRoot(), "/home/user/code/tab2");
}

TEST_F(CompletionFlowTest, EscapeFirstClosesAnEmptyQueryThenPausesATypedOne) {
    type(";;");
    ASSERT_TRUE(popup->isVisible());
    press(keycode::escape);
    EXPECT_FALSE(sessionActive());
    EXPECT_FALSE(popup->isVisible());
    // The trigger stays typed: one more character of it is not needed to start again.
    EXPECT_EQ(coordinator->triggerDetector().triggerProgress(), 2u);

    field->type(" ");
    press(0, " ");
    type(";;si");
    press(keycode::escape);
    EXPECT_TRUE(sessionActive());
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(coordinator->triggerDetector().state(), TriggerDetector::State::paused);
    type("g");
    EXPECT_EQ(coordinator->triggerDetector().state(), TriggerDetector::State::collecting);
    EXPECT_TRUE(popup->isVisible());
}

// Saving a built-in snippet must not replace a configuration file the user is halfway through editing.
TEST_F(CompletionFlowTest, SavingRefusesToWriteOverAnUnparsableConfigFile) {
    type(";;shrug");
    const std::string broken = R"({"trigger": ";;", "snippets": [)";
    writeConfig(broken);
    press(1, "s", keyflag::command);
    ASSERT_FALSE(alerts->alerts().empty());
    EXPECT_EQ(alerts->alerts().back().title, "Save Failed");
    EXPECT_EQ(test::readAll(configDir / "config.json"), broken);
}

// An untrusted project's text never types a line break or a bidirectional control, whether its
// snippets came from opening the project or from the popup's refresh; trusted, it types as written.
TEST_F(CompletionFlowTest, AnUntrustedProjectTypesNoLineBreakAndNoBidiControl) {
    const std::string root = (dir.path() / "project").string();
    dir.write("project/.korvane.json", R"({"snippets": [
        {"key": "deploy", "expand": "echo deploying\ntouch pwned\n"},
        {"key": "spoof", "expand": "cat \u202Etxt.sh\u2066"}, {"key": "note", "expand": "{{sig}}"},
        {"key": "paint", "expand": "red \u001b[31mtext"}]})");
    fileProbe->addFile(root + "/.korvane.json");
    coordinator->projectFollower().handleProjectChange(root, "project");
    settle();
    EXPECT_THAT(lines.lines(),
                Contains("[Korvane] Project snippet 'deploy' waits for trust: its text holds a line break"));
    // What accepting the best row for `key` types, "-" when the row is not offered, for each key.
    const auto accepted = [&](const std::vector<std::string>& keys) {
        std::string typed;
        for (const std::string& key : keys) {
            const std::size_t before = field->text().size();
            type(" ;;" + key);
            const auto row = coordinator->popupController().viewModel().selectedSnippet();
            if (!row || row->label != key) {
                press(keycode::escape);
                press(keycode::escape);
                typed += "-|";
                continue;
            }
            press(keycode::returnKey);
            typed += field->text().substr(before + 1) + "|";
        }
        return typed;
    };
    const std::vector<std::string> keys{"deploy", "spoof", "note"};
    EXPECT_EQ(accepted(keys), "-|cat txt.sh|{{sig}}|");
    // What the popup copies reaches a terminal too, by a paste.
    const auto copied = [&](const std::string& key) {
        type(" ;;" + key);
        press(8, "c", keyflag::command);
        press(keycode::escape);
        press(keycode::escape);
        return pasteboard->string().value_or("-");
    };
    EXPECT_EQ(copied("spoof"), "cat txt.sh");
    EXPECT_EQ(copied("paint"), "red [31mtext");
    // The popup's refresh loads the snippets again.
    const std::size_t before = field->text().size();
    type(" ;;no");
    press(15, "r", keyflag::command);
    type("te");
    press(keycode::returnKey);
    EXPECT_EQ(field->text().substr(before), " {{sig}}");
    EXPECT_EQ(accepted(keys), "-|cat txt.sh|{{sig}}|") << "after a refresh";

    ConfigManager& config = *coordinator->configManager();
    ASSERT_EQ(config.projectsAwaitingTrust().size(), 1u);
    EXPECT_THAT(config.projectsAwaitingTrust()[0].lineBreakKeys, testing::ElementsAre("deploy"));
    coordinator->projectFollower().trustProjectCommands(0);
    ASSERT_FALSE(alerts->alerts().empty());
    EXPECT_THAT(alerts->alerts().back().message,
                testing::HasSubstr("Snippets with line breaks it will insert:\n    deploy"));
    EXPECT_EQ(accepted(keys), "echo deploying\ntouch pwned\n|cat \u202Etxt.sh\u2066|Best,\nAda|");
}

// In the quick reference, Space, Escape, Return, the Ctrl actions and a typed query each leave it and
// end the session, as the session engine answers; the arrows only scroll it.
TEST_F(CompletionFlowTest, KeysInTheQuickReferenceLeaveItAndEndTheSession) {
    const struct {
        const char* name;
        std::uint16_t keyCode;
        std::optional<std::string> characters;
        std::uint64_t flags;
    } keys[] = {{"space", keycode::space, " ", 0},
                {"escape", keycode::escape, std::nullopt, 0},
                {"return", keycode::returnKey, std::nullopt, 0},
                {"copy", 8, "c", keyflag::command},
                {"typed", 0, "a", 0}};
    PopupViewModel& view = coordinator->popupController().viewModel();
    for (const auto& key : keys) {
        type(" ;;?");
        ASSERT_TRUE(view.isHelpMode()) << key.name;
        press(keycode::downArrow);
        EXPECT_TRUE(view.isHelpMode()) << key.name;
        press(key.keyCode, key.characters, key.flags);
        EXPECT_FALSE(view.isHelpMode()) << key.name;
        EXPECT_FALSE(sessionActive()) << key.name;
        EXPECT_FALSE(popup->isVisible()) << key.name;
    }
}

} // namespace
} // namespace korvane
