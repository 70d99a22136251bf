#include "config/configrebase.h"

#include "base/jsonreader.h"
#include "config/listpairing.h"

#include <algorithm>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

constexpr const char* kSettingsKey = "settings";

// Where in the file a set of members lies: the file itself, its "settings" object or one block of
// the application list.
enum class Level { file, settings, application };

// A list of objects merged entry by entry: the member that names an entry, and the level at which
// an entry that both sides changed is merged member by member (none: the version of `ours` wins).
struct ListKind {
    const char* idField;
    std::optional<Level> entryLevel;
};

std::optional<ListKind> listKindOf(Level level, const std::string& key) {
    if (key == "snippets" && level != Level::settings) {
        return ListKind{"key", std::nullopt};
    }
    if (key == "app_snippets" && level == Level::file) {
        return ListKind{"bundle_id", Level::application};
    }
    return std::nullopt;
}

const Json& member(const Json& object, const std::string& key) {
    static const Json absent;
    const auto found = object.find(key);
    return found == object.end() ? absent : *found;
}

// An absent list is an empty one.
const Json& listOf(const Json& value) {
    static const Json empty = Json::array();
    return value.is_array() ? value : empty;
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

void layChanges(Json& theirs, const Json& base, const Json& ours, Level level);

// One entry as both sides left it: the changes of `ours` laid over `theirs`, member by member where
// the list's entries merge so, else the version of `ours`.
Json mergeEntry(const Json& theirs, const Json& base, const Json& ours, const ListKind& kind) {
    if (!kind.entryLevel || !theirs.is_object() || !base.is_object() || !ours.is_object()) {
        return ours;
    }
    Json merged = theirs;
    layChanges(merged, base, ours, *kind.entryLevel);
    return merged;
}

// A list edited on both sides, merged entry by entry: the entries of `ours` in its order, an entry
// that `ours` left as it was in `base` taking the version of `theirs` (or going when `theirs`
// dropped it), one that both changed, or both added, merged; then the other entries of `theirs`.
// Where a repeated id leaves open which base entry a side's entry stands for, that entry is kept
// as the side left it rather than merged with a guess, so an extra copy may stay but no change goes.
Json mergeList(const Json& theirs, const Json& base, const Json& ours, const ListKind& kind) {
    const ListPairing pairing(theirs, base, ours, kind.idField);
    std::vector<std::optional<std::size_t>> theirVersion(base.size());
    for (std::size_t index = 0; index < theirs.size(); ++index) {
        if (const auto before = pairing.theirBase(index)) {
            theirVersion[*before] = index;
        }
    }
    std::vector<bool> taken(theirs.size(), false);
    Json merged = Json::array();
    for (std::size_t index = 0; index < ours.size(); ++index) {
        const Json& entry = ours[index];
        if (const auto before = pairing.ourBase(index)) {
            const auto their = theirVersion[*before];
            if (their) {
                taken[*their] = true;
            }
            if (entry == base[*before]) {
                if (their) {
                    merged.push_back(theirs[*their]);
                }
            } else if (their && theirs[*their] != base[*before]) {
                merged.push_back(mergeEntry(theirs[*their], base[*before], entry, kind));
            } else {
                merged.push_back(entry);
            }
        } else if (const auto their = pairing.theirMatch(index)) {
            taken[*their] = true;
            merged.push_back(mergeEntry(theirs[*their], Json::object(), entry, kind));
        } else if (!pairing.ourKeptCopy(index)) {
            merged.push_back(entry);
        }
    }
    for (std::size_t index = 0; index < theirs.size(); ++index) {
        const auto before = pairing.theirBase(index);
        // An entry that `ours` dropped goes; one whose version in `ours` cannot be told apart
        // stays if `theirs` changed it. A copy of a base entry that both sides kept fewer of than
        // the base held lives on only as often as both kept one.
        const bool dropped = before ? theirs[index] == base[*before] || !pairing.oursMayHold(*before)
                                    : pairing.theirKeptCopy(index);
        if (!taken[index] && !dropped) {
            merged.push_back(theirs[index]);
        }
    }
    return merged;
}

// Applies to `theirs` the members that differ between `base` and `ours`: "settings" member by
// member and the lists entry by entry.
void layChanges(Json& theirs, const Json& base, const Json& ours, Level level) {
    for (const std::string& key : keysOf(base, ours)) {
        const Json& before = member(base, key);
        const Json& after = member(ours, key);
        if (const auto kind = listKindOf(level, key)) {
            // An absent list is an empty one on every side, and a list left empty is absent, so
            // that a side without the key neither drops the other's entries nor restores its own.
            if (listOf(before) == listOf(after)) {
                continue;
            }
            Json list = mergeList(listOf(member(theirs, key)), listOf(before), listOf(after), *kind);
            if (list.empty()) {
                theirs.erase(key);
            } else {
                theirs[key] = std::move(list);
            }
        } else if (before == after) {
            continue;
        } else if (level == Level::file && key == kSettingsKey && before.is_object() && after.is_object()) {
            Json& target = theirs[key];
            if (!target.is_object()) {
                target = Json::object();
            }
            layChanges(target, before, after, Level::settings);
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
    layChanges(merged, base.encode(), ours.encode(), Level::file);
    JsonDecodeStatus status(false);
    AppConfig result = AppConfig::decode(merged, "", status);
    // Each key comes from a configuration that decoded, so a failure here would be a fault of
    // ours; the window's own version is then the safer one to write.
    return status.failed() ? ours : result;
}

} // namespace korvane
