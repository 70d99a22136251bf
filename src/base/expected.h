#pragma once

#include <tl/expected.hpp>

namespace korvane {

// Operations that can fail return their error as a value.
template <class T, class E>
using Expected = tl::expected<T, E>;

template <class E>
using Unexpected = tl::unexpected<E>;

template <class E>
Unexpected<std::decay_t<E>> makeUnexpected(E&& error) {
    return tl::make_unexpected(std::forward<E>(error));
}

} // namespace korvane
