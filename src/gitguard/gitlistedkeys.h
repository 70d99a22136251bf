#pragma once

#include "base/expected.h"
#include "gitguard/gitconfigkeyindex.h"
#include "platform/processrunner.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The configuration keys that a git names as those it reads (`git help --config`), in its own spelling:
// "<...>" for a name the configuration chooses, "*" as the last part for any variable. A key none of them
// stands for is one that this git reads nowhere, bar the few GitConfigAllowList names itself. Plain value;
// any thread.
class GitListedKeys {
public:
    // The keys of `git help --config`'s output.
    static GitListedKeys parse(std::string_view output);

    // Asks the git of `base` (its executable, environment, time limit and cancellation) for its list,
    // outside any repository, once for each file a git runs from. Fails where that git cannot give one.
    static Expected<GitListedKeys, std::string> read(ProcessRunner& runner, const ProcessRequest& base);

    // Whether one of the listed keys stands for `key`, given as git lists keys.
    bool lists(std::string_view key) const;

    const std::vector<std::string>& keys() const { return keys_->patterns(); }

private:
    // Parsed once, when the list is read; shared by the copies, which a cache hands out.
    std::shared_ptr<const GitConfigKeyIndex> keys_ = std::make_shared<GitConfigKeyIndex>();
};

} // namespace korvane
