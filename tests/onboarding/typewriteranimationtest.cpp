// The demonstration's timeline on virtual time, read back at chosen moments against the run's plan;
// the filter and its highlight; cancellation at the checks; a second start never doubling the typing.
#include "onboarding/typewriteranimation.h"

#include "platform/fake/manualscheduler.h"

#include <gmock/gmock.h>
#include <set>

namespace korvane {
namespace {

using Phase = TypewriterAnimation::Phase;

class TypewriterAnimationTest : public testing::Test {
protected:
    // Moves virtual time to `ms` since the start.
    void at(double ms) { scheduler.advance(ms / 1000.0 - scheduler.now()); }

    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const auto& row : animation->filteredRows()) {
            out.push_back(row.label);
        }
        return out;
    }

    ManualScheduler scheduler;
    std::shared_ptr<TypewriterAnimation> animation = TypewriterAnimation::create(scheduler);
};

TEST_F(TypewriterAnimationTest, BothScenariosFollowTheirTimelineAndLoop) {
    struct Moment {
        double ms;
        Phase phase;
        const char* text;
        bool popup;
        bool checkmark;
    };
    // Scenario 0 lasts 5,880 ms, scenario 1 then 4,720 ms.
    const Moment moments[] = {
        {1, Phase::typing, "u", false, false},
        {319, Phase::typing, "use the ", false, false},
        {321, Phase::trigger, "use the ;;", false, false},
        {471, Phase::trigger, "use the ;;", true, false},
        {1671, Phase::filtering, "use the ;;", true, false},
        {2471, Phase::filtering, "use the ;;", false, false},
        {2621, Phase::completed, "use the vercel-react-best-practices", false, false},
        {4381, Phase::completed, "use the vercel-react-best-practices to review the implementation", false,
         true},
        {5879, Phase::completed, "use the vercel-react-best-practices to review the implementation", false,
         true},
        {5881, Phase::typing, "$", false, false},
        {5880 + 601, Phase::trigger, "$ git checkout ;;", false, false},
        {5880 + 1951, Phase::filtering, "$ git checkout ;;f", true, false},
        {5880 + 2191, Phase::filtering, "$ git checkout ;;feat", true, false},
        {5880 + 3221, Phase::completed, "$ git checkout feat/user-auth", false, true},
        {5880 + 4721, Phase::typing, "u", false, false},
    };
    animation->startAnimation();
    for (const Moment& m : moments) {
        at(m.ms);
        SCOPED_TRACE(m.ms);
        EXPECT_EQ(animation->phase(), m.phase);
        EXPECT_EQ(animation->displayedText(), m.text);
        EXPECT_EQ(animation->showPopup(), m.popup);
        EXPECT_EQ(animation->showCheckmark(), m.checkmark);
    }
    EXPECT_EQ(animation->scenarioIndex(), 0u);
    EXPECT_EQ(animation->scenarios()[1].completedText, "$ git checkout feat/user-auth");
}

TEST_F(TypewriterAnimationTest, EveryCaptionShowsWithinSixSeconds) {
    std::set<std::string> seen;
    animation->addObserver([&] { seen.insert(TypewriterAnimation::caption(animation->phase())); });
    animation->startAnimation();
    at(6000);
    EXPECT_THAT(seen, testing::UnorderedElementsAre("Writing normally...", "Trigger detected!",
                                                    "Filtering results...", "Completion inserted!"));
}

TEST_F(TypewriterAnimationTest, FilteringNarrowsTheRowsAndBoldsTheTypedPart) {
    animation->startAnimation();
    at(1700);
    EXPECT_THAT(labels(), testing::ElementsAre("vercel-react-best-practices", "design-motion-principles",
                                               "skill-creator"))
        << "scenario 0 has no filter characters";
    EXPECT_TRUE(animation->highlightedLabel("skill-creator").bold.empty());
    at(5880 + 1951);
    EXPECT_THAT(labels(), testing::ElementsAre("feat/user-auth", "feat/api-v2"));
    EXPECT_EQ(animation->filteredRows().front().id, "1");
    at(5880 + 2111);
    const auto label = animation->highlightedLabel("feat/api-v2");
    EXPECT_EQ(label.before, "");
    EXPECT_EQ(label.bold, "fea");
    EXPECT_EQ(label.after, "t/api-v2");
}

TEST_F(TypewriterAnimationTest, StoppingInTheFinalHoldStillAdvancesButNotWhileTyping) {
    animation->startAnimation();
    at(100);
    animation->stopAnimation();
    EXPECT_EQ(animation->scenarioIndex(), 0u);
    EXPECT_EQ(animation->displayedText(), "use") << "stops at the next character";
    at(10000);
    EXPECT_EQ(animation->displayedText(), "use");

    animation->startAnimation();
    at(10000 + 5000);
    ASSERT_TRUE(animation->showCheckmark());
    animation->stopAnimation();
    EXPECT_EQ(animation->scenarioIndex(), 1u);
    animation->startAnimation();
    at(10000 + 5000 + 601);
    EXPECT_EQ(animation->displayedText(), "$ git checkout ;;");
}

TEST_F(TypewriterAnimationTest, AStartWhileRunningTypesEachCharacterOnce) {
    animation->startAnimation();
    at(100);
    animation->startAnimation();
    at(100 + 319);
    EXPECT_EQ(animation->displayedText(), "use the ");
    EXPECT_EQ(animation->phase(), Phase::typing);
}

TEST_F(TypewriterAnimationTest, TheCaretBlinksEvery530Milliseconds) {
    animation->startAnimation();
    at(529);
    EXPECT_TRUE(animation->cursorVisible());
    at(531);
    EXPECT_FALSE(animation->cursorVisible());
    at(1061);
    EXPECT_TRUE(animation->cursorVisible());
    animation->stopAnimation();
    at(3000);
    EXPECT_TRUE(animation->cursorVisible());
}

} // namespace
} // namespace korvane
