#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvane {

// Reports on the main thread each time another window of the desktop becomes the active one, with the
// application that owns it. Start and stop on the main thread.
class WorkspaceEvents {
public:
    // The application that became active; fields the desktop does not tell are absent.
    struct Activation {
        std::optional<std::string> bundleID;
        std::optional<std::string> name;
        std::optional<std::int32_t> pid;
        bool operator==(const Activation&) const = default;
    };

    virtual ~WorkspaceEvents() = default;
    // False when the desktop cannot be watched; nothing is reported then.
    virtual bool start(std::function<void(const Activation&)> onActivate) = 0;
    virtual void stop() = 0;
};

} // namespace korvane
