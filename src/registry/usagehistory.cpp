#include "registry/usagehistory.h"

#include "base/jsonreader.h"
#include "registry/isodate.h"

#include <algorithm>
#include <limits>

namespace korvane {
namespace {

// The history is written with every object's keys sorted, which is the order of nlohmann's own
// map-backed JSON type; it also keeps reading and writing thousands of ids linear-logarithmic, where
// the member-order type looks each key up one by one.
using SortedJson = nlohmann::json;

SortedJson encodeEntries(const std::map<std::string, UsageEntry>& entries, bool checkKeys) {
    SortedJson object = SortedJson::object();
    for (const auto& [id, entry] : entries) {
        if (checkKeys) {
            try {
                (void)SortedJson(id).dump();
            } catch (const SortedJson::exception&) {
                continue;
            }
        }
        object.emplace(id, SortedJson{{"count", entry.count}, {"last_used", formatIsoDate(entry.lastUsed)}});
    }
    return object;
}

Expected<std::string, std::string> encodeWith(const UsageHistory& history, bool checkKeys) {
    const SortedJson root{{"entries", encodeEntries(history.entries, checkKeys)},
                          {"version", history.version}};
    try {
        return root.dump(2) + "\n";
    } catch (const SortedJson::exception& error) {
        return makeUnexpected(std::string(error.what()));
    }
}

Expected<SortedJson, std::string> parseSorted(std::string_view text) {
    if (jsonNestingDepth(text) > kMaxJsonDepth) {
        return makeUnexpected(std::string("JSON nests too deeply"));
    }
    SortedJson parsed = SortedJson::parse(text.begin(), text.end(), nullptr, false);
    if (parsed.is_discarded()) {
        return makeUnexpected(std::string("not JSON"));
    }
    return parsed;
}

const SortedJson* member(const SortedJson& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

// An entry, or nothing when its date cannot be read: one odd date costs that entry, not the file.
std::optional<UsageEntry> decodeEntry(const SortedJson& sorted, const std::string& path,
                                      JsonDecodeStatus& status) {
    UsageEntry entry;
    // Entries are small; the shared reader gives them the same key mapping and strict types as the
    // configuration files.
    const Json value(sorted);
    const JsonObjectReader reader(value, path, status);
    if (status.failed()) {
        return entry;
    }
    const Json* count = reader.find("count");
    const Json* lastUsed = reader.find("lastUsed");
    if (count == nullptr || lastUsed == nullptr) {
        status.fail(path, count == nullptr ? "\"count\" is missing" : "\"last_used\" is missing");
        return entry;
    }
    entry.count = readJsonInteger(*count, reader.pathOf("count"), status).value_or(0);
    const auto text = readJsonString(*lastUsed, reader.pathOf("lastUsed"), status);
    if (!text) {
        return entry;
    }
    const auto date = parseIsoDate(*text);
    if (!date) {
        return std::nullopt;
    }
    entry.lastUsed = *date;
    return entry;
}

} // namespace

Expected<std::string, std::string> UsageHistory::encode() const {
    auto text = encodeWith(*this, false);
    if (!text) {
        // Only an id that is not UTF-8 can fail; drop such ids rather than never saving again.
        text = encodeWith(*this, true);
    }
    return text;
}

Expected<UsageHistory, std::string> UsageHistory::decode(std::string_view text, std::size_t* droppedEntries) {
    const auto parsed = parseSorted(text);
    if (!parsed) {
        return makeUnexpected(parsed.error());
    }
    if (!parsed->is_object()) {
        return makeUnexpected(std::string("history: expected an object"));
    }
    const SortedJson* version = member(*parsed, "version");
    const SortedJson* entries = member(*parsed, "entries");
    if (version == nullptr || entries == nullptr) {
        return makeUnexpected(
            std::string(version == nullptr ? "\"version\" is missing" : "\"entries\" is missing"));
    }
    JsonDecodeStatus status(false);
    UsageHistory history;
    history.version = readJsonInteger(Json(*version), "history.version", status).value_or(1);
    if (!status.failed() && !entries->is_object()) {
        status.fail("history.entries", "expected an object");
    }
    if (status.failed()) {
        return makeUnexpected(status.error());
    }
    for (const auto& [id, value] : entries->items()) {
        const auto entry = decodeEntry(value, "history.entries." + id, status);
        if (status.failed()) {
            return makeUnexpected(status.error());
        }
        if (entry) {
            history.entries.emplace_hint(history.entries.end(), id, *entry);
        } else if (droppedEntries != nullptr) {
            ++*droppedEntries;
        }
    }
    return history;
}

std::size_t encodedEntrySizeBound(const std::string& id) {
    // Four indented lines around the id, a count of at most 20 characters and a 20-character date.
    constexpr std::size_t kEntryLines = 128;
    std::size_t size = kEntryLines;
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\' || byte == '\b' || byte == '\f' || byte == '\n' || byte == '\r' ||
            byte == '\t') {
            size += 2;
        } else if (byte < 0x20) {
            size += 6; // \u00XX
        } else {
            ++size;
        }
    }
    return size;
}

void mergeUsage(UsageHistory& into, const UsageHistory& earlier) {
    for (const auto& [id, use] : earlier.entries) {
        const auto [found, inserted] = into.entries.try_emplace(id, use);
        if (inserted) {
            continue;
        }
        UsageEntry& entry = found->second;
        std::int64_t sum = 0;
        if (__builtin_add_overflow(entry.count, use.count, &sum)) {
            sum = use.count > 0 ? std::numeric_limits<std::int64_t>::max()
                                : std::numeric_limits<std::int64_t>::min();
        }
        entry.count = sum;
        entry.lastUsed = std::max(entry.lastUsed, use.lastUsed);
    }
}

std::int64_t incrementedCount(std::int64_t count) {
    return count == std::numeric_limits<std::int64_t>::max() ? count : count + 1;
}

} // namespace korvane
