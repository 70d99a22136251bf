#include "detectorharness.h"

namespace korvane::test {

namespace {

template <typename... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <typename... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

} // namespace

DetectorHarness::DetectorHarness() {
    record();
}

void DetectorHarness::record(bool all) {
    detector.setHandledEvents(all ? allSessionEvents : sessionEventBit<sessionevent::Dismissed>());
}

std::string DetectorHarness::describe(const SessionEvent& event) {
    using namespace sessionevent;
    return std::visit(Overloaded{
                          [](const TriggerActivated&) -> std::string { return "activated"; },
                          [](const QueryUpdated& e) -> std::string { return "query:" + e.query; },
                          [](const Accepted& e) -> std::string { return "accepted:" + e.query; },
                          [](const Dismissed&) -> std::string { return "dismissed"; },
                          [](const Navigate& e) -> std::string {
                              return e.direction == NavigationDirection::up ? "navigate:up" : "navigate:down";
                          },
                          [](const CopyRequested&) -> std::string { return "copy"; },
                          [](const OpenRequested&) -> std::string { return "open"; },
                          [](const SaveRequested&) -> std::string { return "save"; },
                          [](const RefreshRequested&) -> std::string { return "refresh"; },
                          [](const SpacePressed&) -> std::string { return "space"; },
                          [](const HorizontalNavigate& e) -> std::string {
                              return e.direction == HorizontalDirection::left ? "left" : "right";
                          },
                          [](const EscapePressed&) -> std::string { return "escape"; },
                          [](const HelpBackRequested&) -> std::string { return "help"; },
                      },
                      event);
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
