#include "search/skillprecedence.h"

#include "search/fakeproviders.h"

#include <gmock/gmock.h>

#include <random>
#include <set>

namespace korvane {
namespace {

using test::makeSnippet;

// The rule read plainly: project skills in order, then the global skills whose label no project skill has.
std::vector<std::string> reference(const std::vector<Snippet>& skills) {
    const auto isGlobal = [](const Snippet& s) { return s.metadata && s.metadata->count("global") && s.metadata->at("global") == "true"; };
    std::set<std::string> projectLabels;
    std::vector<std::string> ids;
    for (const auto& s : skills) {
        if (!isGlobal(s)) {
            projectLabels.insert(s.label);
            ids.push_back(s.id);
        }
    }
    for (const auto& s : skills) {
        if (isGlobal(s) && !projectLabels.count(s.label)) {
            ids.push_back(s.id);
        }
    }
    return ids;
}

std::vector<std::string> ids(const std::vector<Snippet>& skills) {
    std::vector<std::string> result;
    for (const auto& s : skills) {
        result.push_back(s.id);
    }
    return result;
}

TEST(SkillPrecedenceTest, MatchesThePlainRuleAndIsIdempotentOnRandomLists) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<Snippet> skills;
        const int count = static_cast<int>(random() % 9);
        for (int i = 0; i < count; ++i) {
            const bool global = random() % 2 == 0;
            auto snippet = makeSnippet("skill:" + std::to_string(i), SnippetSource::claudeSkill(),
                                       "label" + std::to_string(random() % 4), global);
            // "global" must be exactly "true" to count.
            if (!global && random() % 4 == 0) {
                snippet.metadata = std::map<std::string, std::string>{{"global", "TRUE"}};
            }
            skills.push_back(std::move(snippet));
        }
        const auto once = applySkillPrecedence(skills);
        EXPECT_EQ(ids(once), reference(skills));
        EXPECT_EQ(ids(applySkillPrecedence(once)), ids(once));
    }
}

} // namespace
} // namespace korvane
