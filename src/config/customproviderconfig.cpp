#include "config/customproviderconfig.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"

namespace korvane {

CustomProviderConfig CustomProviderConfig::decode(const Json& value, const std::string& path,
                                                  JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    CustomProviderConfig config;
    config.id = object.requiredString("id");
    config.label = object.requiredString("label");
    config.command = object.requiredString("command");
    config.description = object.optionalString("description");
    config.scope = object.optionalString("scope");
    config.badge = object.optionalString("badge");
    config.emptyHint = object.optionalString("emptyHint");
    config.ttl = object.optionalInteger("ttl").value_or(config.ttl);
    config.mode = object.optionalString("mode").value_or(config.mode);
    config.debounce = object.optionalInteger("debounce").value_or(config.debounce);
    return config;
}

OrderedJson CustomProviderConfig::encode() const {
    OrderedJson object = OrderedJson::object();
    object["id"] = id;
    object["label"] = label;
    object["command"] = command;
    setIfPresent(object, "description", description);
    setIfPresent(object, "scope", scope);
    setIfPresent(object, "badge", badge);
    setIfPresent(object, "empty_hint", emptyHint);
    object["ttl"] = ttl;
    object["mode"] = mode;
    object["debounce"] = debounce;
    return object;
}

} // namespace korvane
