#include "input/textinjector.h"

#include "platform/fake/manualscheduler.h"
#include "platform/fake/manualserialexecutor.h"
#include "platform/fake/fakeaccessibletext.h"
#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakeeventlog.h"
#include "platform/fake/fakekeysynthesizer.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakesleeper.h"
#include "platform/fake/faketextfield.h"
#include "platform/fake/inlinemainthreadcaller.h"
#include "platform/keycodes.h"
#include "support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::int32_t targetPID = 42;
constexpr std::uint64_t targetWindow = 0x400001;

AppProfile profileWith(InjectionStrategy strategy) {
    AppProfile profile = AppProfile::defaultProfile();
    profile.strategy = strategy;
    return profile;
}

const char* name(InjectionStrategy strategy) {
    switch (strategy) {
    case InjectionStrategy::ax:
        return "ax";
    case InjectionStrategy::clipboard:
        return "clipboard";
    case InjectionStrategy::cgEventChunked:
        return "chunked";
    }
    return "?";
}

// The injector over fakes: an editor field that takes the posted keys, the accessible text of the
// same field, a clipboard, virtual pauses and a queue the test runs by hand.
class TextInjectorTest : public testing::Test {
protected:
    void SetUp() override {
        activeApp->setFrontmost(FrontmostApplication{"org.example.Editor", targetPID}, targetWindow);
        keys->onKeyPair = [this](std::uint16_t keyCode, std::uint64_t flags) {
            if (keyCode == keycode::backspace) {
                field->backspace();
            } else if (keyCode == keycode::leftArrow) {
                field->left();
            } else if (keyCode == shortcut.virtualKey && flags == shortcut.flags && targetAsks) {
                field->type(pasteboard->takeText().value_or(""));
                if (onPaste) {
                    onPaste();
                }
            }
        };
        keys->onText = [this](std::string_view text) { field->type(text); };
        TextInjector::Ports ports;
        ports.injectionQueue = queue;
        ports.mainThread = mainThread;
        ports.mainScheduler = &scheduler;
        ports.activeApp = activeApp;
        ports.profileForBundleID = [this](const std::string& bundleID) {
            profileRequests.push_back(bundleID);
            return profile;
        };
        ports.pasteShortcutForBundleID = [this](const std::string&) { return shortcut; };
        ports.accessibleText = accessible;
        ports.keys = keys;
        ports.pasteboard = pasteboard;
        ports.sleeper = std::make_shared<FakeSleeper>(log);
        injector = std::make_shared<TextInjector>(std::move(ports));
    }

    void setField(std::string_view before, std::string_view after = "") {
        *field = FakeTextField(before, after);
    }

    std::optional<bool> inject(std::size_t deletionCount, const std::string& text,
                               std::optional<std::int32_t> pid = targetPID,
                               std::optional<std::uint64_t> window = targetWindow) {
        std::optional<bool> result;
        injector->injectAsync(deletionCount, text, pid, "org.example.Editor", window,
                              [&](bool ok) { result = ok; });
        queue->runAll();
        scheduler.runUntilIdle();
        return result;
    }

    std::optional<bool> deleteOnly(std::size_t count) {
        std::optional<bool> result;
        injector->deleteOnlyAsync(count, targetPID, "org.example.Editor", targetWindow,
                                  [&](bool ok) { result = ok; });
        queue->runAll();
        scheduler.runUntilIdle();
        return result;
    }

    // Events other than the accessibility steps.
    std::vector<std::string> keyEvents() const {
        std::vector<std::string> events;
        for (const std::string& event : log->events()) {
            if (!event.starts_with("ax ")) {
                events.push_back(event);
            }
        }
        return events;
    }

    test::LogCapture lines;
    std::shared_ptr<FakeEventLog> log = std::make_shared<FakeEventLog>();
    std::shared_ptr<FakeTextField> field = std::make_shared<FakeTextField>();
    std::shared_ptr<ManualSerialExecutor> queue = std::make_shared<ManualSerialExecutor>();
    std::shared_ptr<InlineMainThreadCaller> mainThread = std::make_shared<InlineMainThreadCaller>();
    ManualScheduler scheduler;
    std::shared_ptr<FakeActiveAppProvider> activeApp = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakeAccessibleText> accessible = std::make_shared<FakeAccessibleText>(field, log);
    std::shared_ptr<FakeKeySynthesizer> keys = std::make_shared<FakeKeySynthesizer>(log);
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>(log);
    AppProfile profile = AppProfile::defaultProfile();
    PasteShortcut shortcut;
    std::function<void()> onPaste;
    bool targetAsks = true;
    std::vector<std::string> profileRequests;
    std::shared_ptr<TextInjector> injector;
};

// Every strategy leaves the same text and caret, whatever the characters: the typed trigger and
// query go, nothing else does.
TEST_F(TextInjectorTest, EveryStrategyReplacesExactlyTheTypedCharacters) {
    struct Case {
        const char* before;
        const char* after;
        std::size_t deletion;
        const char* expansion;
        const char* expectedBefore;
        const char* expectedAfter;
    };
    const Case cases[] = {
        {"say ;;hel", "", 5, "hello $0world", "say hello ", "world"},
        {"x ;;q", " tail", 3, "foo$0bar", "x foo", "bar tail"},
        // A line break in the trailing text is one step back like any character.
        {";;f", "", 3, "{\n  $0\n}", "{\n  ", "\n}"},
        // Emoji and combining accents in the trigger and query are one character each.
        {"ok 🎉;;cafe\u0301", "", 6, "café", "ok 🎉café", ""},
        {"a;;👍🏽x", "!", 4, "b$0🇯🇵c", "ab", "🇯🇵c!"},
        {"keep", "", 0, "+", "keep+", ""},
    };
    for (InjectionStrategy strategy :
         {InjectionStrategy::ax, InjectionStrategy::clipboard, InjectionStrategy::cgEventChunked}) {
        profile = profileWith(strategy);
        for (const Case& c : cases) {
            setField(c.before, c.after);
            EXPECT_EQ(inject(c.deletion, c.expansion), true);
            EXPECT_EQ(field->beforeCaret(), c.expectedBefore) << name(strategy) << ": " << c.before;
            EXPECT_EQ(field->afterCaret(), c.expectedAfter) << name(strategy) << ": " << c.before;
        }
    }
}

TEST_F(TextInjectorTest, KeyEventsFollowTheProfilesPacing) {
    struct Case {
        InjectionStrategy strategy;
        std::size_t deletion;
        const char* expansion;
        int chunkSize;
        std::uint32_t interChunkDelay;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {InjectionStrategy::cgEventChunked, 2, "abcdef", 4, 700,
         {"begin", "key 51", "key 51", "sleep 5000", "text abcd", "sleep 700", "text ef", "end"}},
        // Deleting nothing skips the phase gap; a text of exactly one chunk has no pause after it.
        {InjectionStrategy::cgEventChunked, 0, "abcd", 4, 700, {"begin", "text abcd", "end"}},
        // The caret goes back one Left per character, the line break included.
        {InjectionStrategy::cgEventChunked, 1, "x$0x\n", 20, 0,
         {"begin", "key 51", "sleep 5000", "text xx\n", "sleep 1000", "key 123", "key 123", "end"}},
        {InjectionStrategy::clipboard, 1, "hi", 10, 0,
         {"begin", "key 51", "sleep 5000", "clipboard set hi", "key 9 flags 100000", "sleep 50000",
          "clipboard restore 1 items", "end"}},
        // Deleting with nothing to insert needs no gap either.
        {InjectionStrategy::cgEventChunked, 2, "", 4, 0, {"begin", "key 51", "key 51", "end"}},
    };
    pasteboard->setString("old");
    for (const Case& c : cases) {
        profile = profileWith(c.strategy);
        profile.chunkSize = c.chunkSize;
        profile.interChunkDelay = c.interChunkDelay;
        log->clear();
        setField("....");
        EXPECT_EQ(inject(c.deletion, c.expansion), true);
        EXPECT_EQ(keyEvents(), c.events) << c.expansion;
    }
    EXPECT_EQ(pasteboard->string(), "old");
    EXPECT_THAT(profileRequests, testing::Each("org.example.Editor"));
}

TEST_F(TextInjectorTest, AChunkSizeOfZeroTypesNothing) {
    profile = profileWith(InjectionStrategy::cgEventChunked);
    profile.chunkSize = 0;
    setField("ab");
    EXPECT_EQ(inject(1, "xyz"), true);
    EXPECT_EQ(keyEvents(), (std::vector<std::string>{"begin", "key 51", "sleep 5000", "end"}));
    EXPECT_EQ(field->text(), "a");
}

TEST_F(TextInjectorTest, TheTargetMustStillHaveTheFocus) {
    struct Case {
        std::optional<FrontmostApplication> frontmost;
        std::optional<std::uint64_t> frontWindow;
        std::optional<std::int32_t> expectedPID;
        std::optional<std::uint64_t> expectedWindow;
        bool proceeds;
    };
    const FrontmostApplication editor{"org.example.Editor", targetPID};
    const FrontmostApplication other{"org.example.Other", 77};
    const Case cases[] = {
        {editor, targetWindow, targetPID, targetWindow, true},
        {other, 0x500001, targetPID, targetWindow, false},
        // Same process, another of its windows.
        {editor, 0x400002, targetPID, targetWindow, false},
        // Windows without a process property: only the window tells them apart.
        {std::nullopt, 0x500001, std::nullopt, targetWindow, false},
        {std::nullopt, targetWindow, std::nullopt, targetWindow, true},
        // Nothing had the focus when the session began, and nothing has it now.
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, true},
        // Nothing had the focus, but now a window has.
        {std::nullopt, 0x500001, std::nullopt, std::nullopt, false},
        {editor, targetWindow, std::nullopt, targetWindow, true},
    };
    profile = profileWith(InjectionStrategy::cgEventChunked);
    for (const Case& c : cases) {
        // The target is resolved from the focus at acceptance for what the shell does not pass.
        activeApp->setFrontmost(c.expectedPID || c.frontmost == editor ? std::optional(editor) : std::nullopt,
                                c.expectedWindow);
        std::optional<bool> result;
        injector->injectAsync(1, "x", c.expectedPID, "org.example.Editor", c.expectedWindow,
                              [&](bool ok) { result = ok; });
        activeApp->setFrontmost(c.frontmost, c.frontWindow);
        log->clear();
        lines.clear();
        queue->runAll();
        scheduler.runUntilIdle();
        EXPECT_EQ(result, c.proceeds);
        if (c.proceeds) {
            EXPECT_THAT(lines.lines(), IsEmpty());
        } else {
            EXPECT_THAT(lines.lines(), ElementsAre("[Korvane] Injection aborted: target app changed"));
            EXPECT_THAT(log->events(), IsEmpty());
        }
    }
}

// Nothing was in front when the user accepted: an application that came forward before the edit
// was handed over must not receive it.
TEST_F(TextInjectorTest, AnEditMeantForNoApplicationNeverLandsInOneThatCameForward) {
    profile = profileWith(InjectionStrategy::cgEventChunked);
    for (const bool cameForward : {true, false}) {
        activeApp->setFrontmost(cameForward ? std::optional(FrontmostApplication{"org.example.Editor", targetPID})
                                            : std::nullopt,
                                cameForward ? std::optional<std::uint64_t>(targetWindow) : std::nullopt);
        std::optional<bool> result;
        injector->injectAsync(1, "x", std::nullopt, "", std::nullopt, [&](bool ok) { result = ok; });
        queue->runAll();
        scheduler.runUntilIdle();
        EXPECT_EQ(result, !cameForward);
    }
}

// The clamp keeps the selection from reaching past the caret when fewer characters stand before
// it than were to be deleted.
TEST_F(TextInjectorTest, TheAccessibilitySelectionNeverReachesPastTheCaret) {
    setField("ab", "KEEP");
    EXPECT_EQ(inject(5, "x"), true);
    EXPECT_EQ(field->text(), "xKEEP");
    EXPECT_THAT(log->events(), ElementsAre("ax select 0,2", "ax set x"));

    setField("abc", "KEEP");
    field->select({1, 2});
    EXPECT_EQ(inject(5, "x"), true);
    EXPECT_EQ(field->text(), "xKEEP");
}

TEST_F(TextInjectorTest, ARefusedAccessibilityEditFallsBackWithTheOriginalSelection) {
    accessible->setTextResult = TextEditResult::refused;
    setField("say ;;hel", " after");
    EXPECT_EQ(inject(5, "hello"), true);
    EXPECT_EQ(field->text(), "say hello after");
    EXPECT_THAT(log->events(),
                ElementsAre("ax select 4,5", "ax set hello", "ax select 9,0", "begin", "key 51", "key 51", "key 51",
                            "key 51", "key 51", "sleep 5000", "text hello", "end"));
}

TEST_F(TextInjectorTest, AnAccessibilityEditThatCannotBeUndoneStopsTheInjection) {
    struct Case {
        TextEditResult setText;
        std::set<int> failingRangeCalls;
        const char* text;
    };
    const Case cases[] = {
        // Setting the text was refused and the selection cannot be put back.
        {TextEditResult::refused, {2}, "say ;;hel after"},
        // Setting the text failed half way: the selection was deleted, no more must go.
        {TextEditResult::failed, {}, "say  after"},
    };
    for (const Case& c : cases) {
        accessible->setTextResult = c.setText;
        accessible->failingRangeCalls = c.failingRangeCalls;
        setField("say ;;hel", " after");
        log->clear();
        EXPECT_EQ(inject(5, "hello"), false);
        EXPECT_EQ(field->text(), c.text);
        EXPECT_THAT(keyEvents(), IsEmpty());
    }
}

TEST_F(TextInjectorTest, TheAccessibilityPathIsLeftWhenItCannotStart) {
    struct Case {
        const char* what;
        std::function<void(FakeAccessibleText&)> breakIt;
    };
    const Case cases[] = {
        {"no focused element", [](FakeAccessibleText& ax) { ax.hasFocusedElement = false; }},
        {"element of another process", [](FakeAccessibleText& ax) { ax.processID = 77; }},
        {"range unreadable", [](FakeAccessibleText& ax) { ax.canReadRange = false; }},
        {"text unreadable", [](FakeAccessibleText& ax) { ax.canReadText = false; }},
        {"range refused", [](FakeAccessibleText& ax) { ax.failingRangeCalls = {1}; }},
    };
    for (const Case& c : cases) {
        accessible = std::make_shared<FakeAccessibleText>(field, log);
        c.breakIt(*accessible);
        SetUp();
        setField("a;;b", "z");
        log->clear();
        EXPECT_EQ(inject(3, "x$0y"), true) << c.what;
        EXPECT_EQ(field->beforeCaret(), "ax") << c.what;
        EXPECT_EQ(field->afterCaret(), "yz") << c.what;
        EXPECT_THAT(keyEvents(), testing::Contains("text xy")) << c.what;
    }
}

TEST_F(TextInjectorTest, WithoutKeyInputNothingHappens) {
    profile = profileWith(InjectionStrategy::clipboard);
    keys->canBegin = false;
    setField("ab");
    EXPECT_EQ(inject(1, "x"), false);
    EXPECT_EQ(field->text(), "ab");
    EXPECT_EQ(deleteOnly(1), false);
}

class ClipboardInjectionTest : public TextInjectorTest {
protected:
    void SetUp() override {
        TextInjectorTest::SetUp();
        profile = profileWith(InjectionStrategy::clipboard);
        profile.chunkSize = 10;
        profile.interChunkDelay = 1500;
        setField("x;;");
    }

    static PasteboardItem itemOfSize(std::size_t first, std::size_t second = 0) {
        PasteboardItem item{{"text/plain", "image/png"}, {{"text/plain", std::string(first, 'a')}}};
        if (second > 0) {
            item.dataByType.emplace_back("image/png", std::string(second, 'b'));
        }
        return item;
    }
};

TEST_F(ClipboardInjectionTest, TheClipboardIsRestoredUpToFourMebibytes) {
    const std::vector<PasteboardItem> exactly{itemOfSize(4194304 - 100, 100)};
    pasteboard->writeFromElsewhere(exactly);
    EXPECT_EQ(inject(2, "pasted"), true);
    EXPECT_EQ(field->text(), "xpasted");
    EXPECT_EQ(pasteboard->items(), exactly);
    EXPECT_THAT(lines.lines(), IsEmpty());
}

TEST_F(ClipboardInjectionTest, ALargerClipboardIsLeftAloneAndTheTextTyped) {
    const std::vector<PasteboardItem> tooLarge{itemOfSize(4194304 - 100, 101)};
    pasteboard->writeFromElsewhere(tooLarge);
    EXPECT_EQ(inject(2, "pasted and typed"), true);
    EXPECT_EQ(field->text(), "xpasted and typed");
    EXPECT_EQ(pasteboard->items(), tooLarge);
    EXPECT_THAT(lines.lines(), ElementsAre("[Korvane] Clipboard snapshot too large (4194305 bytes), skipping restore"));
    EXPECT_THAT(keyEvents(), ElementsAre("begin", "key 51", "key 51", "sleep 5000", "text pasted and", "sleep 1500",
                                         "text  typed", "end"));
}

TEST_F(ClipboardInjectionTest, TheSizeIsCheckedAfterEachFormat) {
    PasteboardItem item{{"a", "b", "c"},
                        {{"a", std::string(3000000, 'a')}, {"b", std::string(3000000, 'b')}, {"c", "c"}}};
    pasteboard->writeFromElsewhere({item});
    pasteboard->reads.clear();
    EXPECT_EQ(inject(2, "t"), true);
    EXPECT_THAT(pasteboard->reads, ElementsAre("a", "b"));
    EXPECT_THAT(lines.lines(), ElementsAre("[Korvane] Clipboard snapshot too large (6000000 bytes), skipping restore"));
}

TEST_F(ClipboardInjectionTest, FormatsAndItemsWithoutDataAreLeftOut) {
    PasteboardItem empty{{"x-empty"}, {}};
    PasteboardItem partial{{"text/plain", "x-missing"}, {{"text/plain", "old"}}};
    pasteboard->writeFromElsewhere({empty, partial});
    ASSERT_EQ(TextInjector::snapshotPasteboard(*pasteboard),
              (std::vector<PasteboardItem>{{{"text/plain", "x-missing"}, {{"text/plain", "old"}}}}));
}

TEST_F(ClipboardInjectionTest, AnotherWritersClipboardIsNotOverwritten) {
    pasteboard->setString("old");
    onPaste = [this] { pasteboard->writeFromElsewhere({{{"text/plain"}, {{"text/plain", "theirs"}}}}); };
    EXPECT_EQ(inject(2, "mine"), true);
    EXPECT_EQ(field->text(), "xmine");
    EXPECT_EQ(pasteboard->data(0, "text/plain"), "theirs");
}

TEST_F(ClipboardInjectionTest, AFailedSetRestoresAndTypes) {
    pasteboard->setString("old");
    pasteboard->canSetString = false;
    EXPECT_EQ(inject(2, "mine"), true);
    EXPECT_EQ(field->text(), "xmine");
    EXPECT_EQ(pasteboard->string(), "old");
    EXPECT_THAT(lines.lines(), ElementsAre("[Korvane] Clipboard injection failed, falling back to chunked CGEvent"));
    EXPECT_THAT(keyEvents(), ElementsAre("begin", "key 51", "key 51", "sleep 5000", "clipboard set mine",
                                         "clipboard restore 1 items", "text mine", "end"));
}

TEST_F(ClipboardInjectionTest, AClipboardNeverAskedForIsRestoredAfterALimit) {
    pasteboard->setString("old");
    targetAsks = false;
    EXPECT_EQ(inject(2, "mine"), true);
    EXPECT_EQ(pasteboard->string(), "old");
    EXPECT_THAT(lines.lines(),
                ElementsAre("[Korvane] Pasted text not taken within 3000 ms, clipboard restored anyway"));
    // The phase gap, then a look every 5 ms after the profile's 50 ms.
    EXPECT_THAT(keyEvents(), testing::Contains("sleep 5000").Times(1 + 590));
}

TEST_F(ClipboardInjectionTest, AnEmptyClipboardIsEmptyAgainAfterwards) {
    EXPECT_EQ(inject(2, "mine"), true);
    EXPECT_THAT(pasteboard->items(), IsEmpty());
    EXPECT_EQ(pasteboard->primarySelection, "mine");
}

TEST_F(TextInjectorTest, DeletionRemovesCharactersOnly) {
    struct Case {
        InjectionStrategy strategy;
        std::size_t count;
        const char* before;
        const char* expected;
    };
    const Case cases[] = {
        {InjectionStrategy::ax, 3, "ab;;é", "ab"},
        {InjectionStrategy::ax, 9, "a🎉", ""},
        {InjectionStrategy::clipboard, 3, "ab;;e\u0301", "ab"},
        {InjectionStrategy::cgEventChunked, 2, "a👍🏽🎉", "a"},
    };
    for (const Case& c : cases) {
        profile = profileWith(c.strategy);
        setField(c.before, "|");
        log->clear();
        EXPECT_EQ(deleteOnly(c.count), true);
        EXPECT_EQ(field->text(), std::string(c.expected) + "|") << c.before;
    }
    EXPECT_THAT(log->events(), ElementsAre("begin", "key 51", "key 51", "end"));
}

TEST_F(TextInjectorTest, DeletingNothingSucceedsWithoutAskingAnyone) {
    activeApp->setFrontmost(FrontmostApplication{"org.example.Other", 77}, 0x500001);
    EXPECT_EQ(deleteOnly(0), true);
    EXPECT_EQ(mainThread->calls.load(), 0);
    EXPECT_THAT(lines.lines(), IsEmpty());
}

TEST_F(TextInjectorTest, DeletionIsAbortedWhenTheFocusMoved) {
    std::optional<bool> result;
    injector->deleteOnlyAsync(2, targetPID, "org.example.Editor", targetWindow, [&](bool ok) { result = ok; });
    activeApp->setFrontmost(FrontmostApplication{"org.example.Other", 77}, 0x500001);
    queue->runAll();
    scheduler.runUntilIdle();
    EXPECT_EQ(result, false);
    EXPECT_THAT(lines.lines(), ElementsAre("[Korvane] Deletion aborted: target app changed"));
    EXPECT_THAT(log->events(), IsEmpty());
}

TEST_F(TextInjectorTest, JobsRunInOrderAndDieWithTheInjector) {
    profile = profileWith(InjectionStrategy::cgEventChunked);
    setField("");
    injector->inject(0, "one", targetPID, "org.example.Editor", targetWindow);
    injector->inject(0, " two", targetPID, "org.example.Editor", targetWindow);
    std::optional<bool> third;
    injector->injectAsync(0, " three", targetPID, "org.example.Editor", targetWindow, [&](bool ok) { third = ok; });
    injector.reset();
    queue->runAll();
    scheduler.runUntilIdle();
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(third, false);

    SetUp();
    injector->inject(0, "one", targetPID, "org.example.Editor", targetWindow);
    injector->inject(0, " two", targetPID, "org.example.Editor", targetWindow);
    EXPECT_EQ(queue->pendingCount(), 2u);
    queue->runAll();
    EXPECT_EQ(field->text(), "one two");
}

TEST_F(TextInjectorTest, AMainThreadThatDoesNotAnswerStopsTheJob) {
    mainThread->available = false;
    setField("ab");
    EXPECT_EQ(inject(1, "x"), false);
    EXPECT_EQ(field->text(), "ab");
    EXPECT_THAT(log->events(), IsEmpty());
}

} // namespace
} // namespace korvane
