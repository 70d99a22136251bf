#pragma once

#include <memory>
#include <utility>

namespace korvane {

// A callback that calls `method` on `owner` with the callback's arguments while the owner lives,
// and does nothing once it is gone: the shape of every callback that must not keep its object
// alive. Called on the owner's thread.
template <class T, class R, class... Args>
auto weakCallback(std::weak_ptr<T> owner, R (T::*method)(Args...)) {
    return [owner = std::move(owner), method](Args... args) {
        if (auto locked = owner.lock()) {
            ((*locked).*method)(std::forward<Args>(args)...);
        }
    };
}

template <class T, class R, class... Args>
auto weakCallback(const std::shared_ptr<T>& owner, R (T::*method)(Args...)) {
    return weakCallback(std::weak_ptr<T>(owner), method);
}

} // namespace korvane
