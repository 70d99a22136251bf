#include "gitguard/gitreach.h"

#include "gitguard/gitreachwalk.h"

namespace korvane {

const OutputBudget& GitReach::sharedBudget() {
    static const OutputBudget budget(heldLimit);
    return budget;
}

Expected<GitReach, std::string> GitReach::read(ProcessRunner& runner, const ProcessRequest& base,
                                               const OutputBudget& budget) {
    GitReachWalk walk(runner, base, budget);
    if (auto error = walk.walk()) {
        return makeUnexpected(std::move(*error));
    }
    return walk.take();
}

} // namespace korvane
