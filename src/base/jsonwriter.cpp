#include "base/jsonwriter.h"

namespace korvane {

Expected<std::string, std::string> prettyJson(const Json& value) {
    try {
        return value.dump(2) + "\n";
    } catch (const Json::exception& error) {
        std::string text(error.what());
        const auto end = text.find("] ");
        return makeUnexpected(end == std::string::npos ? text : text.substr(end + 2));
    }
}

} // namespace korvane
