#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace korvane {

// The observers of one object, each under the id it was added with, told in the order they were
// added. Used on the owner's thread only.
template <class... Args> class ObserverList {
public:
    using ID = std::uint64_t;

    ID add(std::function<void(Args...)> observer) {
        const ID id = nextID_++;
        observers_.emplace(id, std::move(observer));
        return id;
    }

    void remove(ID id) { observers_.erase(id); }

    // An observer may remove itself or another while being told: one removed before its turn is
    // not told, one added is told from the next change on.
    void notify(Args... args) {
        std::vector<ID> ids;
        ids.reserve(observers_.size());
        for (const auto& [id, observer] : observers_) {
            ids.push_back(id);
        }
        for (ID id : ids) {
            if (auto found = observers_.find(id); found != observers_.end()) {
                auto observer = found->second;
                observer(args...);
            }
        }
    }

private:
    std::map<ID, std::function<void(Args...)>> observers_;
    ID nextID_ = 1;
};

} // namespace korvane
