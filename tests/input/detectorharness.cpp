#include "detectorharness.h"

namespace korvane::test {

DetectorHarness::DetectorHarness() {
    record();
}

void DetectorHarness::record(bool all) {
    auto note = [this](std::string event) { return [this, event] { events.push_back(event); }; };
    detector.onDismissed = note("dismissed");
    if (!all) {
        detector.onTriggerActivated = nullptr;
        detector.onQueryUpdated = nullptr;
        detector.onAccepted = nullptr;
        detector.onNavigate = nullptr;
        detector.onCopyRequested = nullptr;
        detector.onOpenRequested = nullptr;
        detector.onSaveRequested = nullptr;
        detector.onRefreshRequested = nullptr;
        detector.onSpacePressed = nullptr;
        detector.setOnHorizontalNavigate(nullptr);
        detector.onEscapePressed = nullptr;
        detector.onHelpBackRequested = nullptr;
        return;
    }
    detector.onTriggerActivated = note("activated");
    detector.onQueryUpdated = [this](const std::string& query) { events.push_back("query:" + query); };
    detector.onAccepted = [this](const std::string& query) { events.push_back("accepted:" + query); };
    detector.onNavigate = [this](NavigationDirection direction) {
        events.push_back(direction == NavigationDirection::up ? "navigate:up" : "navigate:down");
    };
    detector.onCopyRequested = note("copy");
    detector.onOpenRequested = note("open");
    detector.onSaveRequested = note("save");
    detector.onRefreshRequested = note("refresh");
    detector.onSpacePressed = note("space");
    detector.setOnHorizontalNavigate([this](HorizontalDirection direction) {
        events.push_back(direction == HorizontalDirection::left ? "left" : "right");
    });
    detector.onEscapePressed = note("escape");
    detector.onHelpBackRequested = note("help");
}

bool DetectorHarness::key(std::uint16_t keyCode, std::optional<std::string> characters, std::uint64_t flags) {
    return detector.processKey(keyCode, characters, flags);
}

bool DetectorHarness::type(std::string_view text) {
    bool swallowed = false;
    for (const char c : text) {
        swallowed = key(letterKey, std::string(1, c)) || swallowed;
    }
    return swallowed;
}

void DetectorHarness::open(std::string_view query) {
    type(";;");
    type(query);
    events.clear();
}

} // namespace korvane::test
