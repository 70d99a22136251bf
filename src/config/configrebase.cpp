#include "config/configrebase.h"

#include "base/jsonreader.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvane {
namespace {

constexpr const char* kSettingsKey = "settings";

const Json& member(const Json& object, const std::string& key) {
    static const Json absent;
    const auto found = object.find(key);
    return found == object.end() ? absent : *found;
}

// Keys of `base` and `ours`, in that order, each once.
std::vector<std::string> keysOf(const Json& base, const Json& ours) {
    std::vector<std::string> keys;
    for (const Json* object : {&base, &ours}) {
        for (const auto& [key, value] : object->items()) {
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
            }
        }
    }
    return keys;
}

// Applies to `theirs` the members that differ between `base` and `ours`; "settings" member by member
// when `nested` is set.
void layChanges(Json& theirs, const Json& base, const Json& ours, bool nested) {
    for (const std::string& key : keysOf(base, ours)) {
        const Json& before = member(base, key);
        const Json& after = member(ours, key);
        if (before == after) {
            continue;
        }
        if (nested && key == kSettingsKey && before.is_object() && after.is_object()) {
            Json& target = theirs[key];
            if (!target.is_object()) {
                target = Json::object();
            }
            layChanges(target, before, after, false);
        } else if (after.is_null()) {
            theirs.erase(key);
        } else {
            theirs[key] = after;
        }
    }
}

} // namespace

AppConfig rebaseConfig(const AppConfig& theirs, const AppConfig& base, const AppConfig& ours) {
    if (ours == base) {
        return theirs;
    }
    Json merged = theirs.encode();
    layChanges(merged, base.encode(), ours.encode(), true);
    JsonDecodeStatus status(false);
    AppConfig result = AppConfig::decode(merged, "", status);
    // Each key comes from a configuration that decoded, so a failure here would be a fault of
    // ours; the window's own version is then the safer one to write.
    return status.failed() ? ours : result;
}

} // namespace korvane
