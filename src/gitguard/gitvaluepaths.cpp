#include "gitguard/gitvaluepaths.h"

namespace korvane {

GitValuePaths::Met GitValuePaths::meet(std::string_view written) {
    if (met_.contains(written)) {
        return Met::before;
    }
    // Past the limit nothing more is kept: a value of a million paths costs no more memory than one of
    // a thousand.
    if (met_.size() >= limit_) {
        return Met::pastLimit;
    }
    met_.insert(written);
    return Met::first;
}

} // namespace korvane
