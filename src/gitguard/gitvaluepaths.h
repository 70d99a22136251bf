#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_set>

namespace korvane {

// The absolute paths that the values of one reading name, as written, counted as they are met: each is
// judged once however often the values repeat it, and no more than `limit` of them at all, so that what
// a reading costs grows with the bytes of its values and not with the system calls of their words. The
// paths are views of the values, which must outlive it. Plain value; one thread.
class GitValuePaths {
public:
    enum class Met {
        // met before: judged already
        before,
        // met first: to judge
        first,
        // one more than `limit`: too many to judge
        pastLimit,
    };

    explicit GitValuePaths(std::size_t limit)
        : limit_(limit) {}

    Met meet(std::string_view written);

private:
    std::size_t limit_;
    std::unordered_set<std::string_view> met_;
};

} // namespace korvane
