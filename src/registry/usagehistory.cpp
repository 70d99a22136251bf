#include "registry/usagehistory.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"
#include "registry/isodate.h"

#include <algorithm>
#include <limits>

namespace korvane {
namespace {

OrderedJson encodeEntries(const std::map<std::string, UsageEntry>& entries, bool checkKeys) {
    OrderedJson object = OrderedJson::object();
    for (const auto& [id, entry] : entries) {
        if (checkKeys) {
            try {
                (void)OrderedJson(id).dump();
            } catch (const OrderedJson::exception&) {
                continue;
            }
        }
        OrderedJson value = OrderedJson::object();
        value["count"] = entry.count;
        value["last_used"] = formatIsoDate(entry.lastUsed);
        object[id] = std::move(value);
    }
    return object;
}

Expected<std::string, std::string> encodeWith(const UsageHistory& history, bool checkKeys) {
    OrderedJson root = OrderedJson::object();
    root["entries"] = encodeEntries(history.entries, checkKeys);
    root["version"] = history.version;
    return prettyJson(root);
}

UsageEntry decodeEntry(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    UsageEntry entry;
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
    if (const auto date = parseIsoDate(*text)) {
        entry.lastUsed = *date;
    } else {
        status.fail(reader.pathOf("lastUsed"), "not a date such as 2026-01-02T03:04:05Z: " + *text);
    }
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

Expected<UsageHistory, std::string> UsageHistory::decode(std::string_view text) {
    auto parsed = parseJson(text);
    if (!parsed) {
        return makeUnexpected(parsed.error());
    }
    JsonDecodeStatus status(false);
    const JsonObjectReader root(*parsed, "history", status);
    if (status.failed()) {
        return makeUnexpected(status.error());
    }
    const Json* version = root.find("version");
    const Json* entries = root.find("entries");
    if (version == nullptr || entries == nullptr) {
        return makeUnexpected(
            std::string(version == nullptr ? "\"version\" is missing" : "\"entries\" is missing"));
    }
    UsageHistory history;
    history.version = readJsonInteger(*version, root.pathOf("version"), status).value_or(1);
    if (!status.failed() && !entries->is_object()) {
        status.fail(root.pathOf("entries"), "expected an object");
    }
    if (status.failed()) {
        return makeUnexpected(status.error());
    }
    const std::string base = root.pathOf("entries");
    for (auto it = entries->begin(); it != entries->end(); ++it) {
        UsageEntry entry = decodeEntry(it.value(), base + "." + it.key(), status);
        if (status.failed()) {
            return makeUnexpected(status.error());
        }
        history.entries.insert_or_assign(it.key(), entry);
    }
    return history;
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
