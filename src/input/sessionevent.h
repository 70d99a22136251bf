#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace korvane {

enum class NavigationDirection { up, down };
enum class HorizontalDirection { left, right };

// The events of a completion session that the trigger detector reports, one record each.
namespace sessionevent {

// The trigger sequence was completed.
struct TriggerActivated {
    bool operator==(const TriggerActivated&) const = default;
};
// The query changed (also reported with "" right after activation).
struct QueryUpdated {
    std::string query;
    bool operator==(const QueryUpdated&) const = default;
};
// Return or Tab; the query at that moment.
struct Accepted {
    std::string query;
    bool operator==(const Accepted&) const = default;
};
// The session ends because of a key that leaves the popup.
struct Dismissed {
    bool operator==(const Dismissed&) const = default;
};
struct Navigate {
    NavigationDirection direction;
    bool operator==(const Navigate&) const = default;
};
struct CopyRequested {
    bool operator==(const CopyRequested&) const = default;
};
struct OpenRequested {
    bool operator==(const OpenRequested&) const = default;
};
struct SaveRequested {
    bool operator==(const SaveRequested&) const = default;
};
struct RefreshRequested {
    bool operator==(const RefreshRequested&) const = default;
};
// Space with a non-empty query.
struct SpacePressed {
    bool operator==(const SpacePressed&) const = default;
};
struct HorizontalNavigate {
    HorizontalDirection direction;
    bool operator==(const HorizontalNavigate&) const = default;
};
struct EscapePressed {
    bool operator==(const EscapePressed&) const = default;
};
// Backspace turned the query "?" into the empty query.
struct HelpBackRequested {
    bool operator==(const HelpBackRequested&) const = default;
};

} // namespace sessionevent

using SessionEvent =
    std::variant<sessionevent::TriggerActivated, sessionevent::QueryUpdated, sessionevent::Accepted,
                 sessionevent::Dismissed, sessionevent::Navigate, sessionevent::CopyRequested,
                 sessionevent::OpenRequested, sessionevent::SaveRequested, sessionevent::RefreshRequested,
                 sessionevent::SpacePressed, sessionevent::HorizontalNavigate, sessionevent::EscapePressed,
                 sessionevent::HelpBackRequested>;

// A set of session event kinds, one bit per alternative of SessionEvent.
using SessionEventSet = std::uint32_t;

inline constexpr SessionEventSet allSessionEvents =
    ~(~SessionEventSet{0} << std::variant_size_v<SessionEvent>);

template <typename Event> constexpr SessionEventSet sessionEventBit() {
    return SessionEventSet{1} << SessionEvent(Event{}).index();
}

inline SessionEventSet sessionEventBit(const SessionEvent& event) {
    return SessionEventSet{1} << event.index();
}

} // namespace korvane
