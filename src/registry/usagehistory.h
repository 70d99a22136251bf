#pragma once

#include "base/clock.h"
#include "base/expected.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace korvane {

// The use of one snippet: how often it was accepted and when last.
struct UsageEntry {
    std::int64_t count = 0;
    // Whole seconds, as the file keeps them; a date from a file may lie outside Clock::WallTime's years.
    WallSeconds lastUsed;

    bool operator==(const UsageEntry&) const = default;
};

// The contents of history.json: a format version and one entry per snippet id ever accepted, kept
// sorted by id so the file lists them in order. A plain value; any thread.
struct UsageHistory {
    std::int64_t version = 1;
    std::map<std::string, UsageEntry> entries;

    bool operator==(const UsageHistory&) const = default;

    // The file text: pretty-printed, keys of every object sorted, dates as "2026-01-02T03:04:05Z".
    // An entry whose id is not valid UTF-8 cannot be written as a JSON key and is left out.
    Expected<std::string, std::string> encode() const;

    // Reads the file text. "version" (any integer) and "entries" are required, and so are "count"
    // and "last_used" in every entry; a missing or null member or a wrong type fails the whole file,
    // while an entry whose date cannot be read is left out and counted in `droppedEntries`. Ids are
    // taken exactly as written.
    static Expected<UsageHistory, std::string> decode(std::string_view text,
                                                      std::size_t* droppedEntries = nullptr);
};

// The most bytes `id`'s entry can take in the file text, and the most the text takes besides its
// entries: together they bound what encode() writes.
std::size_t encodedEntrySizeBound(const std::string& id);
inline constexpr std::size_t kEncodedHistoryOverhead = 256;

// Adds the uses of `earlier` to `into`: counts add up (saturating) and the later date wins.
void mergeUsage(UsageHistory& into, const UsageHistory& earlier);

// count + 1 without overflow: the largest count stays as it is.
std::int64_t incrementedCount(std::int64_t count);

} // namespace korvane
