#include "config/manualsnippet.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"

namespace korvane {

ManualSnippet ManualSnippet::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    ManualSnippet snippet;
    snippet.key = object.requiredString("key");
    snippet.expand = object.optionalString("expand");
    snippet.url = object.optionalString("url");
    snippet.label = object.optionalString("label");
    snippet.description = object.optionalString("description");
    return snippet;
}

OrderedJson ManualSnippet::encode() const {
    OrderedJson object = OrderedJson::object();
    object["key"] = key;
    setIfPresent(object, "expand", expand);
    setIfPresent(object, "url", url);
    setIfPresent(object, "label", label);
    setIfPresent(object, "description", description);
    return object;
}

} // namespace korvane
