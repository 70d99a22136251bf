#include "files/gitoutput.h"

namespace korvane {

bool isFinal(GitFailure failure) {
    switch (failure) {
    case GitFailure::gitMissing:
    case GitFailure::noRepository:
    case GitFailure::workTreeRefused:
        return true;
    case GitFailure::failed:
    case GitFailure::timedOut:
        return false;
    }
    return false;
}

std::string_view toString(GitFailure failure) {
    switch (failure) {
    case GitFailure::failed:
        return "ERROR";
    case GitFailure::timedOut:
        return "TIMEOUT";
    case GitFailure::gitMissing:
        return "GIT_MISSING";
    case GitFailure::noRepository:
        return "NO_REPOSITORY";
    case GitFailure::workTreeRefused:
        return "WORK_TREE_REFUSED";
    }
    return "ERROR";
}

} // namespace korvane
