#include "config/configrebase.h"

#include "base/jsonreader.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
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

// The entries of a list of objects by their `idField` (no entries for an absent list), or none when
// an entry has no text id or an id stands twice (a hand-edited file may hold a repeated key; such a
// list is then taken whole).
std::optional<std::map<std::string, const Json*>> entriesById(const Json& list, const char* idField) {
    std::map<std::string, const Json*> entries;
    if (list.is_null()) {
        return entries;
    }
    if (!list.is_array()) {
        return std::nullopt;
    }
    for (const Json& entry : list) {
        const auto id = entry.is_object() ? entry.find(idField) : entry.end();
        if (id == entry.end() || !id->is_string() ||
            !entries.emplace(id->get<std::string>(), &entry).second) {
            return std::nullopt;
        }
    }
    return entries;
}

// A list edited on both sides, merged entry by entry: the entries of `ours` in its order, an entry
// that `ours` left as it was in `base` taking the version of `theirs` (or going when `theirs`
// dropped it), then the entries that `theirs` added. None when an id is missing or repeated.
std::optional<Json> mergeById(const Json& theirs, const Json& base, const Json& ours, const char* idField) {
    const auto theirEntries = entriesById(theirs, idField);
    const auto baseEntries = entriesById(base, idField);
    const auto ourEntries = entriesById(ours, idField);
    if (!theirEntries || !baseEntries || !ourEntries) {
        return std::nullopt;
    }
    Json merged = Json::array();
    for (const Json& entry : ours) {
        const std::string id = entry[idField].get<std::string>();
        const auto before = baseEntries->find(id);
        if (before == baseEntries->end() || *before->second != entry) {
            merged.push_back(entry);
        } else if (const auto their = theirEntries->find(id); their != theirEntries->end()) {
            merged.push_back(*their->second);
        }
    }
    for (const Json& entry : theirs) {
        const std::string id = entry[idField].get<std::string>();
        if (!baseEntries->contains(id) && !ourEntries->contains(id)) {
            merged.push_back(entry);
        }
    }
    return merged;
}

// The id field of the lists that are merged entry by entry, or none for a key taken whole.
const char* listIdField(const std::string& key) {
    if (key == "snippets") {
        return "key";
    }
    if (key == "app_snippets") {
        return "bundle_id";
    }
    return nullptr;
}

// Applies to `theirs` the members that differ between `base` and `ours`; "settings" member by member
// and the snippet and application lists entry by entry when `nested` is set.
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
        } else if (const char* idField = nested ? listIdField(key) : nullptr; idField != nullptr) {
            // An absent list is an empty one on every side, and a list left empty is absent, so
            // that a side without the key neither drops the other's entries nor restores its own.
            Json list = mergeById(member(theirs, key), before, after, idField).value_or(after);
            if (list.is_array() && !list.empty()) {
                theirs[key] = std::move(list);
            } else {
                theirs.erase(key);
            }
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
