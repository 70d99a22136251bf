#pragma once

#include "base/clock.h"
#include "platform/fake/fakeclock.h"
#include "input/triggerdetector.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::test {

// A trigger detector on a fake clock whose events are written in readable form ("activated",
// "query:ab", "navigate:up", ...) to `events`.
class DetectorHarness {
public:
    // Any key code the detector gives no meaning of its own.
    static constexpr std::uint16_t letterKey = 0;

    DetectorHarness();

    // Lets the handler take every event, horizontal navigation included, or only dismissals when
    // `all` is false.
    void record(bool all = true);

    bool key(std::uint16_t keyCode, std::optional<std::string> characters = std::nullopt,
             std::uint64_t flags = 0);
    // Types each byte of an ASCII text as its own key; true when any key was swallowed.
    bool type(std::string_view text);
    // Activates with the default trigger, types `query` and forgets the events so far.
    void open(std::string_view query = "");

    static std::string describe(const SessionEvent& event);

    FakeClock clock;
    std::vector<std::string> events;
    // Called with each event after it has been written down.
    std::function<void(const SessionEvent&)> onEvent;
    TriggerDetector detector{[this](const SessionEvent& event) {
                                 events.push_back(describe(event));
                                 if (onEvent) {
                                     onEvent(event);
                                 }
                             },
                             clock};
};

} // namespace korvane::test
