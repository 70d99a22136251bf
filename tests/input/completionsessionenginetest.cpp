#include "input/completionsessionengine.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Engine = CompletionSessionEngine;
using Reason = Engine::DismissReason;
using Mode = Engine::ResetMode;
using Commands = Engine::Commands;

Commands ending(Reason reason, Mode mode) {
    return {Engine::EndSession{}, Engine::DismissPopup{reason}, Engine::CancelSearchTasks{},
            Engine::ResetDetector{mode}};
}

Commands ending(Reason reason, Mode mode, Engine::ApplyProjectChange change) {
    Commands commands = ending(reason, mode);
    commands.emplace_back(std::move(change));
    return commands;
}

TEST(CompletionSessionEngineTest, SessionIdsRiseAlsoWhenASessionIsReplaced) {
    Engine engine;
    EXPECT_EQ(engine.beginSession("/p"), Commands({Engine::BeginSession{1, "/p"}}));
    EXPECT_EQ(engine.beginSession(std::nullopt),
              Commands({Engine::EndSession{}, Engine::BeginSession{2, {}}}));
    const auto* open = std::get_if<Engine::ActiveSession>(&engine.state());
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->id, 2u);
    EXPECT_EQ(engine.nextSessionID(), 3u);
}

TEST(CompletionSessionEngineTest, EndingASessionEmitsTheCommandsInOrder) {
    struct Case {
        const char* name;
        bool accept;
        Reason reason;
        Mode mode;
    };
    // clang-format off
    const Case cases[] = {
        {"accept", true, Reason::accepted, Mode::reset},
        {"escape", false, Reason::escaped, Mode::reset},
        {"escape that cleared the query", false, Reason::escapeCleared, Mode::resetArmed},
        {"app switch", false, Reason::appSwitch, Mode::reset},
        {"horizontal navigation", false, Reason::horizontalNav, Mode::reset},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Engine engine;
        engine.beginSession("/p");
        const Commands first = c.accept ? engine.accept() : engine.dismiss(c.reason, c.mode);
        EXPECT_EQ(first, ending(c.reason, c.mode));
        EXPECT_TRUE(std::holds_alternative<Engine::Idle>(engine.state()));
        // A second ending of the same session does nothing.
        EXPECT_TRUE(engine.accept().empty());
        EXPECT_TRUE(engine.dismiss(c.reason, c.mode).empty());
    }
}

TEST(CompletionSessionEngineTest, ProjectChangesWaitForTheEndOfTheSession) {
    Engine engine;
    EXPECT_EQ(engine.projectDidChange("/a", "a"), Commands({Engine::ApplyProjectChange{"/a", "a"}}));

    engine.beginSession("/a");
    EXPECT_EQ(engine.projectDidChange("/b", "b"), Commands({Engine::DeferProjectChange{"/b", "b"}}));
    EXPECT_EQ(engine.projectDidChange("/c", "c"), Commands({Engine::DeferProjectChange{"/c", "c"}}));
    EXPECT_EQ(engine.dismiss(Reason::appSwitch, Mode::reset),
              ending(Reason::appSwitch, Mode::reset, {"/c", "c"}));

    engine.beginSession("/c");
    engine.projectDidChange(std::nullopt, std::nullopt);
    EXPECT_EQ(engine.accept(), ending(Reason::accepted, Mode::reset, {std::nullopt, std::nullopt}));
}

TEST(CompletionSessionEngineTest, AReplacedSessionHandsOnItsProjectChange) {
    Engine engine;
    engine.beginSession("/a");
    engine.projectDidChange("/b", "b");
    EXPECT_EQ(engine.beginSession("/a"),
              Commands({Engine::EndSession{}, Engine::ApplyProjectChange{"/b", "b"},
                        Engine::BeginSession{2, "/a"}}));
    // The change was applied once; the new session holds nothing back.
    EXPECT_EQ(engine.accept(), ending(Reason::accepted, Mode::reset));
}

TEST(CompletionSessionEngineTest, CommandsCompareTextsCanonically) {
    EXPECT_EQ(Engine::Command(Engine::ApplyProjectChange{"/caf\u00e9", "x"}),
              Engine::Command(Engine::ApplyProjectChange{"/cafe\u0301", "x"}));
    EXPECT_NE(Engine::Command(Engine::ApplyProjectChange{"/a", std::nullopt}),
              Engine::Command(Engine::ApplyProjectChange{"/a", ""}));
    EXPECT_NE(Engine::Command(Engine::ApplyProjectChange{"/a", "x"}),
              Engine::Command(Engine::DeferProjectChange{"/a", "x"}));
}

TEST(CompletionSessionEngineTest, DismissReasonRawValues) {
    // clang-format off
    const std::pair<Reason, const char*> names[] = {
        {Reason::accepted, "accepted"},   {Reason::escaped, "escaped"},
        {Reason::escapeCleared, "escapeCleared"}, {Reason::appSwitch, "appSwitch"},
        {Reason::tapReenable, "tapReenable"},     {Reason::horizontalNav, "horizontalNav"},
    };
    // clang-format on
    for (const auto& [reason, name] : names) {
        EXPECT_EQ(toString(reason), name);
        EXPECT_EQ(dismissReasonFromString(name), reason);
    }
    EXPECT_EQ(dismissReasonFromString("Escaped"), std::nullopt);
    EXPECT_EQ(dismissReasonFromString(""), std::nullopt);
}

// The quick reference gives keys one meaning: leave it and end the session, or, outside it, none.
TEST(CompletionSessionEngineTest, KeysInTheQuickReferenceLeaveItAndEndTheSession) {
    Engine engine;
    EXPECT_EQ(engine.keyInHelpMode(false), std::nullopt);
    EXPECT_EQ(engine.keyInHelpMode(true), Commands({Engine::ExitHelpMode{}}))
        << "no session: only the help goes";
    engine.beginSession("/p");
    Commands leaving{Engine::ExitHelpMode{}};
    for (auto& command : ending(Reason::escaped, Mode::reset)) {
        leaving.push_back(command);
    }
    const struct {
        bool helpShown;
        const char* query;
        bool leaves;
    } cases[] = {
        {false, "ab", false}, {true, "", false}, {true, "?", false}, {true, "?a", true}, {true, "a", true}};
    EXPECT_EQ(engine.keyInHelpMode(true), leaving);
    EXPECT_TRUE(std::holds_alternative<Engine::Idle>(engine.state()));
    for (const auto& c : cases) {
        EXPECT_EQ(engine.queryInHelpMode(c.helpShown, c.query).has_value(), c.leaves) << c.query;
    }
}

} // namespace
} // namespace korvane
