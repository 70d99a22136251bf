#include "providers/jsonprovideritem.h"

namespace korvane {

JSONProviderItem JSONProviderItem::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    JSONProviderItem item;
    if (status.failed()) {
        return item;
    }
    item.label = object.optionalString("label");
    item.key = object.optionalString("key");
    item.expansion = object.optionalString("expansion");
    item.description = object.optionalString("description");
    item.type = object.optionalString("type");
    item.priority = object.optionalInteger("priority");
    item.url = object.optionalString("url");
    return item;
}

Json JSONProviderItem::encode() const {
    Json object = Json::object();
    const auto put = [&object](const char* key, const auto& value) {
        if (value) {
            object[key] = *value;
        }
    };
    put("label", label);
    put("key", key);
    put("expansion", expansion);
    put("description", description);
    put("type", type);
    put("priority", priority);
    put("url", url);
    return object;
}

} // namespace korvane
