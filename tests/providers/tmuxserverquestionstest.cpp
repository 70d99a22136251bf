#include "providers/tmuxserverquestions.h"

#include "platform/fake/fakeclock.h"
#include "platform/fake/inlineworkerpool.h"
#include "platform/fake/manualworkerpool.h"
#include "support/faketmuxservers.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

const TmuxSocket kFirst{"/run/first", {1, 11}};
const TmuxSocket kSecond{"/run/second", {1, 12}};
const std::string kTmux = "/usr/bin/tmux";

class TmuxServerQuestionsTest : public testing::Test {
protected:
    TmuxServerQuestionsTest() {
        servers->respond(kFirst.path, "first\n");
        servers->respond(kSecond.path, "second\n");
    }

    std::vector<std::optional<std::string>> ask(const std::vector<TmuxSocket>& asked) {
        return questions.listings(kTmux, asked);
    }

    FakeClock clock;
    std::shared_ptr<test::FakeTmuxServers> servers = std::make_shared<test::FakeTmuxServers>(&clock);
    InlineWorkerPool pool;
    TmuxServerQuestions questions{servers, pool, clock};
};

TEST_F(TmuxServerQuestionsTest, OneWaitCoversAllTheQuestionsOfADetection) {
    using Listings = std::vector<std::optional<std::string>>;
    EXPECT_EQ(ask({kFirst, kSecond}), (Listings{"first\n", "second\n"}));
    // Each answers within the wait alone, not both in turn: the second is left out and remembered.
    const double most = TmuxServerQuestions::waitLimit * 0.6;
    servers->respond(kFirst.path, "first\n", most);
    servers->respond(kSecond.path, "second\n", most);
    EXPECT_EQ(ask({kFirst, kSecond}), (Listings{"first\n", std::nullopt}));
    EXPECT_FALSE(questions.isSilent(kFirst));
    EXPECT_TRUE(questions.isSilent(kSecond));
    // It answered, late: the next detection waits for it again.
    servers->respond(kSecond.path, "second\n");
    EXPECT_EQ(ask({kSecond}), (Listings{"second\n"}));
    EXPECT_FALSE(questions.isSilent(kSecond));

    // A terminal with tmux in one tab and screen in another: both finders' questions start before either
    // is waited for.
    ManualWorkerPool manual;
    TmuxServerQuestions tmux{servers, manual, clock}, screen{servers, manual, clock};
    ServerQuestions::Wait detection;
    tmux.ask(kTmux, {kFirst}, detection);
    screen.ask(kTmux, {kSecond}, detection);
    EXPECT_EQ(manual.pendingCount(), 2u);
}

// A stopped server never answers: it is asked in the background at each detection and not waited
// for, until a question gets through; then it is waited for again. A server answering "no such
// client" or not there at all is no silent one.
TEST_F(TmuxServerQuestionsTest, AServerThatDoesNotAnswerIsNotWaitedForUntilItAnswers) {
    servers->respond(kFirst.path, "first\n", TmuxServerQuestions::questionTimeout + 1);
    servers->refuse(kSecond.path);
    EXPECT_EQ(ask({kSecond, kFirst}), (std::vector<std::optional<std::string>>{std::nullopt, std::nullopt}));
    EXPECT_TRUE(questions.isSilent(kFirst));
    EXPECT_FALSE(questions.isSilent(kSecond));
    for (int detection = 0; detection < 3; ++detection) {
        EXPECT_EQ(ask({kFirst}).front(), std::nullopt);
        EXPECT_TRUE(questions.isSilent(kFirst));
    }
    EXPECT_EQ(servers->asked(kFirst.path), 4u);

    servers->respond(kFirst.path, "first\n");
    EXPECT_EQ(ask({kFirst}).front(), std::nullopt) << "asked in the background, not waited for";
    EXPECT_EQ(ask({kFirst}).front(), "first\n");
    // Every question goes out from an empty environment, in "/".
    for (const ProcessRequest& request : servers->requests()) {
        EXPECT_EQ(request.executable, kTmux);
        EXPECT_FALSE(request.inheritEnvironment);
        EXPECT_TRUE(request.environment.empty());
        EXPECT_EQ(request.workingDirectory, "/");
    }
}

// While a question to a silent server is still running, no other is started beside it.
TEST(TmuxServerQuestions, AsksASilentServerOneQuestionAtATime) {
    FakeClock clock;
    auto servers = std::make_shared<test::FakeTmuxServers>(&clock);
    ManualWorkerPool pool;
    TmuxServerQuestions questions(servers, pool, clock);
    EXPECT_EQ(questions.listings(kTmux, {kFirst}).front(), std::nullopt);
    EXPECT_TRUE(questions.isSilent(kFirst));
    EXPECT_EQ(questions.listings(kTmux, {kFirst}).front(), std::nullopt);
    EXPECT_EQ(pool.pendingCount(), 1u);
}

} // namespace
} // namespace korvane
