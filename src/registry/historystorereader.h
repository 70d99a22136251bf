#pragma once

#include "registry/historyreader.h"

#include <memory>

namespace korvane {

class HistoryStore;

// Reads scores and last-use dates from the application's HistoryStore, which it keeps alive. Main
// thread, like the store.
class HistoryStoreReader final : public HistoryReader {
public:
    explicit HistoryStoreReader(std::shared_ptr<const HistoryStore> store);

    double frecencyScore(const std::string& id) const override;
    std::optional<Clock::WallTime> lastUsedDate(const std::string& id) const override;
    std::uint64_t generation() const override;

private:
    std::shared_ptr<const HistoryStore> store_;
};

} // namespace korvane
