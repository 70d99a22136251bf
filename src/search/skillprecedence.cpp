#include "search/skillprecedence.h"

#include <string>
#include <unordered_set>

namespace korvane {
namespace {

bool isGlobalSkill(const Snippet& snippet) {
    if (!snippet.metadata) {
        return false;
    }
    const auto found = snippet.metadata->find("global");
    return found != snippet.metadata->end() && found->second == "true";
}

} // namespace

std::vector<Snippet> applySkillPrecedence(std::vector<Snippet> skills) {
    std::vector<bool> global(skills.size());
    std::unordered_set<std::string> projectLabels;
    for (std::size_t i = 0; i < skills.size(); ++i) {
        global[i] = isGlobalSkill(skills[i]);
        if (!global[i]) {
            projectLabels.insert(skills[i].label);
        }
    }
    std::vector<Snippet> ordered;
    ordered.reserve(skills.size());
    for (std::size_t i = 0; i < skills.size(); ++i) {
        if (!global[i]) {
            ordered.push_back(std::move(skills[i]));
        }
    }
    for (std::size_t i = 0; i < skills.size(); ++i) {
        if (global[i] && !projectLabels.contains(skills[i].label)) {
            ordered.push_back(std::move(skills[i]));
        }
    }
    return ordered;
}

} // namespace korvane
