#include "gitguard/gitreach.h"

#include "gitguard/gitreachwalk.h"

namespace korvane {

Expected<GitReach, std::string> GitReach::read(ProcessRunner& runner, const ProcessRequest& base,
                                               std::size_t printed) {
    GitReachWalk walk(runner, base, printed);
    if (auto error = walk.walk()) {
        return makeUnexpected(std::move(*error));
    }
    return walk.take();
}

} // namespace korvane
