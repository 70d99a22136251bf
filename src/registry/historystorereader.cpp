#include "registry/historystorereader.h"

#include "registry/historystore.h"

#include <utility>

namespace korvane {

HistoryStoreReader::HistoryStoreReader(std::shared_ptr<const HistoryStore> store)
    : store_(std::move(store)) {}

double HistoryStoreReader::frecencyScore(const std::string& id) const {
    return store_ ? store_->frecencyScore(id) : 0.0;
}

std::optional<Clock::WallTime> HistoryStoreReader::lastUsedDate(const std::string& id) const {
    return store_ ? store_->lastUsedDate(id) : std::nullopt;
}

std::uint64_t HistoryStoreReader::generation() const {
    return store_ ? store_->generation() : 0;
}

} // namespace korvane
