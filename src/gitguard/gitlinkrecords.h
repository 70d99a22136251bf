#pragma once

#include "base/outputbudget.h"

#include <string>
#include <string_view>

namespace korvane {

// The gitlinks of an index as `git ls-files --stage -z` lists it, kept while the listing streams in: a
// record is kept only once its start shows a gitlink's mode, so that an index of any size costs no more
// than its gitlinks, and what is kept is taken from the reading's budget. One listing; the thread that
// reads it.
class GitlinkRecords {
public:
    explicit GitlinkRecords(OutputBudget budget);

    // Takes the next piece of the listing (an empty one at its end) and adds the gitlinks' records to
    // `kept`, each with its NUL; false where the budget has too little left.
    bool add(std::string_view piece, std::string& kept);

private:
    // What is known of the record being read.
    enum class Record { starting, gitlink, other };

    bool take(std::string_view part, bool ended, std::string& kept);

    OutputBudget budget_;
    Record record_ = Record::starting;
    // The first bytes of the record while they do not yet tell.
    std::string start_;
};

} // namespace korvane
