#include "config/manualsnippet.h"

#include "base/jsonfields.h"
#include "base/unicode.h"
#include "config/urireference.h"

namespace korvane {
namespace {

const auto kFields = std::tuple{
    requiredField("key", &ManualSnippet::key),
    optionalField("expand", &ManualSnippet::expand),
    optionalField("url", &ManualSnippet::url),
    optionalField("label", &ManualSnippet::label),
    optionalField("description", &ManualSnippet::description),
};

} // namespace

ManualSnippet ManualSnippet::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    return decodeJsonFields<ManualSnippet>(kFields, value, path, status);
}

Json ManualSnippet::encode() const {
    return encodeJsonFields(kFields, *this);
}

std::optional<std::string> ManualSnippet::validationError() const {
    // Only spaces and tabs make a key blank, so a key that is a line break is not empty.
    if (trimmedAscii(key, " \t").empty()) {
        return "Snippet key cannot be empty or whitespace-only";
    }
    const bool hasExpansion = expand && !expand->empty();
    const bool hasLink = url && !url->empty();
    if (hasExpansion && hasLink) {
        return "Snippet '" + key + "' has both 'expand' and 'url' - only one allowed";
    }
    if (hasExpansion) {
        return std::nullopt;
    }
    if (hasLink) {
        if (isUriWithScheme(*url)) {
            return std::nullopt;
        }
        return "Snippet '" + key + "' has invalid URL (must have a scheme): " + *url;
    }
    return "Snippet '" + key + "' must have either 'expand' or 'url'";
}

} // namespace korvane
