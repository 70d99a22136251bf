#include "config/listpairing.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace korvane {
namespace {

using Pairs = std::vector<std::optional<std::size_t>>;

std::string_view idOf(const Json& entry, const char* idField) {
    if (!entry.is_object()) {
        return {};
    }
    const auto id = entry.find(idField);
    return id != entry.end() && id->is_string() ? std::string_view(id->get_ref<const std::string&>())
                                                : std::string_view();
}

// Entries keyed by their whole content, compared as values (strings byte by byte), so that no
// conversion of bytes that are not UTF-8 makes two entries alike.
struct ContentHash {
    std::size_t operator()(const Json* entry) const { return std::hash<Json>{}(*entry); }
};
struct ContentEqual {
    bool operator()(const Json* left, const Json* right) const { return *left == *right; }
};
template <typename Value> using ByContent = std::unordered_map<const Json*, Value, ContentHash, ContentEqual>;

// Where one content occurs in each version of the list.
struct Copies {
    std::vector<std::size_t> theirs;
    std::vector<std::size_t> base;
    std::vector<std::size_t> ours;
};

// The first copies of an entry that a side holds stand for the base's copies in order, the rest
// being ones the side added.
void pairCopies(const std::vector<std::size_t>& side, const std::vector<std::size_t>& base, Pairs& pairs) {
    for (std::size_t copy = 0; copy < std::min(side.size(), base.size()); ++copy) {
        pairs[side[copy]] = base[copy];
    }
}

std::vector<bool> pairedEntries(const Pairs& pairs, std::size_t count) {
    std::vector<bool> paired(count, false);
    for (const auto& pair : pairs) {
        if (pair) {
            paired[*pair] = true;
        }
    }
    return paired;
}

} // namespace

ListPairing::ListPairing(const Json& theirs, const Json& base, const Json& ours, const char* idField)
    : theirBase_(theirs.size())
    , ourBase_(ours.size())
    , theirKeptCopy_(theirs.size(), false)
    , ourKeptCopy_(ours.size(), false)
    , theirMatch_(ours.size())
    , oursMayHold_(base.size(), false) {
    pairEqualEntries(theirs, base, ours);
    pairByLoneId(theirs, base, idField, theirBase_);
    pairByLoneId(ours, base, idField, ourBase_);
    matchEqualEntries(theirs, ours);
    matchNewIds(theirs, base, ours, idField);
    findWhatOursMayHold(base, ours, idField);
}

void ListPairing::pairEqualEntries(const Json& theirs, const Json& base, const Json& ours) {
    ByContent<Copies> copies;
    for (std::size_t index = 0; index < theirs.size(); ++index) {
        copies[&theirs[index]].theirs.push_back(index);
    }
    for (std::size_t index = 0; index < base.size(); ++index) {
        copies[&base[index]].base.push_back(index);
    }
    for (std::size_t index = 0; index < ours.size(); ++index) {
        copies[&ours[index]].ours.push_back(index);
    }
    for (const auto& [entry, where] : copies) {
        // A side holding fewer copies than the base dropped or changed some, and which is unknown;
        // that matters only where the other side did the same.
        if (where.theirs.size() < where.base.size() && where.ours.size() < where.base.size()) {
            for (const std::size_t index : where.theirs) {
                theirKeptCopy_[index] = true;
            }
            for (const std::size_t index : where.ours) {
                ourKeptCopy_[index] = true;
            }
        } else {
            pairCopies(where.theirs, where.base, theirBase_);
            pairCopies(where.ours, where.base, ourBase_);
        }
    }
}

// Of the entries left unpaired, a side's one entry under an id pairs with the base's one entry
// under it: the side changed that entry. Where either holds more, which is which is unknown.
void ListPairing::pairByLoneId(const Json& side, const Json& base, const char* idField, Pairs& pairs) {
    struct Left {
        std::size_t baseCount = 0;
        std::size_t base = 0;
        std::size_t sideCount = 0;
        std::size_t side = 0;
    };
    const std::vector<bool> paired = pairedEntries(pairs, base.size());
    std::unordered_map<std::string_view, Left> left;
    for (std::size_t index = 0; index < base.size(); ++index) {
        if (!paired[index]) {
            Left& entries = left[idOf(base[index], idField)];
            ++entries.baseCount;
            entries.base = index;
        }
    }
    for (std::size_t index = 0; index < side.size(); ++index) {
        if (!pairs[index]) {
            Left& entries = left[idOf(side[index], idField)];
            ++entries.sideCount;
            entries.side = index;
        }
    }
    for (const auto& [id, entries] : left) {
        if (entries.baseCount == 1 && entries.sideCount == 1) {
            pairs[entries.side] = entries.base;
        }
    }
}

// Unpaired entries equal on both sides are one entry (copies one for one).
void ListPairing::matchEqualEntries(const Json& theirs, const Json& ours) {
    ByContent<std::vector<std::size_t>> theirsLeft; // the earliest last
    for (std::size_t index = theirs.size(); index-- > 0;) {
        if (!theirBase_[index]) {
            theirsLeft[&theirs[index]].push_back(index);
        }
    }
    for (std::size_t index = 0; index < ours.size(); ++index) {
        const auto equal = theirsLeft.find(&ours[index]);
        if (!ourBase_[index] && equal != theirsLeft.end() && !equal->second.empty()) {
            theirMatch_[index] = equal->second.back();
            equal->second.pop_back();
        }
    }
}

// Both sides added an entry under an id that `base` lacks, each once: the same entry.
void ListPairing::matchNewIds(const Json& theirs, const Json& base, const Json& ours, const char* idField) {
    struct Holders {
        std::size_t theirCount = 0;
        std::size_t their = 0;
        std::size_t ourCount = 0;
    };
    std::unordered_map<std::string_view, Holders> holders;
    for (std::size_t index = 0; index < theirs.size(); ++index) {
        Holders& entries = holders[idOf(theirs[index], idField)];
        ++entries.theirCount;
        entries.their = index;
    }
    for (const Json& entry : ours) {
        ++holders[idOf(entry, idField)].ourCount;
    }
    for (const Json& entry : base) {
        holders.erase(idOf(entry, idField));
    }
    for (std::size_t index = 0; index < ours.size(); ++index) {
        const auto entries = holders.find(idOf(ours[index], idField));
        if (!theirMatch_[index] && entries != holders.end() && entries->second.theirCount == 1 &&
            entries->second.ourCount == 1) {
            theirMatch_[index] = entries->second.their;
        }
    }
}

void ListPairing::findWhatOursMayHold(const Json& base, const Json& ours, const char* idField) {
    std::unordered_set<std::string_view> unplaced;
    for (std::size_t index = 0; index < ours.size(); ++index) {
        if (!ourBase_[index]) {
            unplaced.insert(idOf(ours[index], idField));
        }
    }
    const std::vector<bool> paired = pairedEntries(ourBase_, base.size());
    for (std::size_t index = 0; index < base.size(); ++index) {
        oursMayHold_[index] = !paired[index] && unplaced.contains(idOf(base[index], idField));
    }
}

} // namespace korvane
