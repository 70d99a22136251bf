#pragma once

#include "base/json.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace korvane {

// Which entry of a list's `base` each entry of two later versions of it, `theirs` and `ours`,
// stands for, paired only where that is certain, for the three-way merge of config.json's lists.
// A value computed once per list on the thread that merges; it keeps no reference to the lists.
class ListPairing {
public:
    // Entries are named by the string member `idField`, compared as bytes. A side's entry pairs with
    // a base entry equal to it, copies in order, unless both sides hold fewer copies of it than
    // `base` (when one side holds every copy, which ones the other kept changes nothing); failing
    // that with the one base entry left under its id when the side has one entry left under it too.
    ListPairing(const Json& theirs, const Json& base, const Json& ours, const char* idField);

    // The entry of `base` that entry `index` of `theirs` or `ours` stands for, or none for one the
    // side added or one that cannot be told apart from others under its id.
    std::optional<std::size_t> theirBase(std::size_t index) const { return theirBase_[index]; }
    std::optional<std::size_t> ourBase(std::size_t index) const { return ourBase_[index]; }

    // Whether entry `index` of `theirs` or `ours` is one of the copies of a base entry that both
    // sides kept fewer of than `base` holds, so that none of them stands for a copy in particular.
    bool theirKeptCopy(std::size_t index) const { return theirKeptCopy_[index]; }
    bool ourKeptCopy(std::size_t index) const { return ourKeptCopy_[index]; }

    // For an entry of `ours` that stands for none of `base`: the entry of `theirs` in the same case
    // that is the same entry (one equal to it, or the only one of `theirs` under an id that `base`
    // lacks and `ours` holds once), each entry of `theirs` met once; or none.
    std::optional<std::size_t> theirMatch(std::size_t ourIndex) const { return theirMatch_[ourIndex]; }

    // Whether entry `baseIndex` of `base`, paired with no entry of `ours`, may live on in an entry
    // of `ours` that pairing could not place: one left unpaired under the same id.
    bool oursMayHold(std::size_t baseIndex) const { return oursMayHold_[baseIndex]; }

private:
    using Pairs = std::vector<std::optional<std::size_t>>;

    void pairEqualEntries(const Json& theirs, const Json& base, const Json& ours);
    static void pairByLoneId(const Json& side, const Json& base, const char* idField, Pairs& pairs);
    void matchEqualEntries(const Json& theirs, const Json& ours);
    void matchNewIds(const Json& theirs, const Json& base, const Json& ours, const char* idField);
    void findWhatOursMayHold(const Json& base, const Json& ours, const char* idField);

    Pairs theirBase_;
    Pairs ourBase_;
    std::vector<bool> theirKeptCopy_;
    std::vector<bool> ourKeptCopy_;
    Pairs theirMatch_;
    std::vector<bool> oursMayHold_;
};

} // namespace korvane
