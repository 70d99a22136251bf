#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// Settings handed to git in its environment (GIT_CONFIG_COUNT, GIT_CONFIG_KEY_n, GIT_CONFIG_VALUE_n),
// after those this process already hands its children, which stay in force. Unlike a "-c" argument they
// carry a name holding "=" or spaces intact, and git hands them on to the git of each submodule.
// Stateless; any thread.
class GitConfigVariables {
public:
    using Setting = std::pair<std::string, std::string>;

    // The count of GIT_CONFIG_COUNT entries this process hands its children, or none when it is not one.
    static std::optional<std::size_t> inheritedCount();

    // The variables that give git `settings` after `inherited` entries of its environment.
    static std::vector<Setting> after(std::size_t inherited, const std::vector<Setting>& settings);

    // The user's GIT_ALLOW_PROTOCOL (which makes git ignore every protocol setting) without the
    // `refused` protocols; none when it is not set.
    static std::optional<std::string> allowedProtocols(const std::vector<std::string_view>& refused);
};

} // namespace korvane
