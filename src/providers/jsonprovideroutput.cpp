#include "providers/jsonprovideroutput.h"

namespace korvane {

JSONProviderOutput JSONProviderOutput::decode(const Json& value, const std::string& path,
                                              JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    JSONProviderOutput output;
    if (!status.failed()) {
        output.items = object.optionalArray("items", &JSONProviderItem::decode);
    }
    return output;
}

Json JSONProviderOutput::encode() const {
    Json object = Json::object();
    if (items) {
        Json array = Json::array();
        for (const auto& item : *items) {
            array.push_back(item.encode());
        }
        object["items"] = std::move(array);
    }
    return object;
}

} // namespace korvane
