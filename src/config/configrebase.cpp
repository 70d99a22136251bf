#include "config/configrebase.h"

#include "base/jsonreader.h"

#include <algorithm>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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

std::string_view idOf(const Json& entry, const char* idField) {
    if (!entry.is_object()) {
        return {};
    }
    const Json& id = member(entry, idField);
    return id.is_string() ? std::string_view(id.get_ref<const std::string&>()) : std::string_view();
}

// Positions in a list grouped by a text (an entry's id, or the entry as JSON), each group handed out
// in order. The texts are views: their owner keeps them while the queues are in use.
class PositionQueues {
public:
    void add(std::string_view text, std::size_t position) { groups_[text].positions.push_back(position); }
    // The next position of `text`'s group not handed out yet, or none.
    std::optional<std::size_t> take(std::string_view text) {
        const auto group = groups_.find(text);
        if (group == groups_.end() || group->second.next == group->second.positions.size()) {
            return std::nullopt;
        }
        return group->second.positions[group->second.next++];
    }

private:
    struct Group {
        std::vector<std::size_t> positions;
        std::size_t next = 0;
    };
    std::unordered_map<std::string_view, Group> groups_;
};

// An entry as JSON text, to find equal entries by. The window's side may hold bytes that are not
// UTF-8 (an application's id or name read from the desktop): they read as U+FFFD here rather than
// failing the merge.
std::string textOf(const Json& entry) {
    return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::vector<std::string> textsOf(const Json& list) {
    std::vector<std::string> texts;
    texts.reserve(list.size());
    for (const Json& entry : list) {
        texts.push_back(textOf(entry));
    }
    return texts;
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

// For each entry of `side`, the entry of `base` it stands for, or none for an entry the side added.
// An entry equal to one of `base` (`baseTexts` holds them as JSON) stands for that one; the others
// stand, in order, for the entries of `base` with the same id that are left. A file may repeat an id
// (the loader lets the later entry win), so where an id repeats, changed entries pair by position and
// every entry keeps one.
std::vector<std::optional<std::size_t>> alignWithBase(const Json& side, const Json& base,
                                                      const std::vector<std::string>& baseTexts,
                                                      const char* idField) {
    PositionQueues baseByContent;
    for (std::size_t index = 0; index < base.size(); ++index) {
        baseByContent.add(baseTexts[index], index);
    }
    std::vector<bool> matched(base.size(), false);
    std::vector<std::optional<std::size_t>> aligned(side.size());
    for (std::size_t index = 0; index < side.size(); ++index) {
        aligned[index] = baseByContent.take(textOf(side[index]));
        if (aligned[index]) {
            matched[*aligned[index]] = true;
        }
    }
    PositionQueues leftById;
    for (std::size_t index = 0; index < base.size(); ++index) {
        if (!matched[index]) {
            leftById.add(idOf(base[index], idField), index);
        }
    }
    for (std::size_t index = 0; index < side.size(); ++index) {
        if (!aligned[index]) {
            aligned[index] = leftById.take(idOf(side[index], idField));
        }
    }
    return aligned;
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
// dropped it) and one that both changed, or both added under one id, merged; then the entries that
// only `theirs` added.
Json mergeList(const Json& theirs, const Json& base, const Json& ours, const ListKind& kind) {
    const std::vector<std::string> baseTexts = textsOf(base);
    const auto theirBase = alignWithBase(theirs, base, baseTexts, kind.idField);
    const auto ourBase = alignWithBase(ours, base, baseTexts, kind.idField);
    std::vector<const Json*> theirVersion(base.size(), nullptr);
    PositionQueues theirAdded;
    for (std::size_t index = 0; index < theirs.size(); ++index) {
        if (theirBase[index]) {
            theirVersion[*theirBase[index]] = &theirs[index];
        } else {
            theirAdded.add(idOf(theirs[index], kind.idField), index);
        }
    }
    std::vector<bool> taken(theirs.size(), false);
    Json merged = Json::array();
    for (std::size_t index = 0; index < ours.size(); ++index) {
        const Json& entry = ours[index];
        if (const auto before = ourBase[index]) {
            const Json* their = theirVersion[*before];
            if (entry == base[*before]) {
                if (their != nullptr) {
                    merged.push_back(*their);
                }
            } else if (their != nullptr && *their != base[*before]) {
                merged.push_back(mergeEntry(*their, base[*before], entry, kind));
            } else {
                merged.push_back(entry);
            }
        } else if (const auto added = theirAdded.take(idOf(entry, kind.idField))) {
            taken[*added] = true;
            merged.push_back(mergeEntry(theirs[*added], Json::object(), entry, kind));
        } else {
            merged.push_back(entry);
        }
    }
    for (std::size_t index = 0; index < theirs.size(); ++index) {
        if (!theirBase[index] && !taken[index]) {
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
