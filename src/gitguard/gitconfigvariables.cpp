#include "gitguard/gitconfigvariables.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace korvane {
namespace {

// Far more than anyone passes; git itself refuses counts past INT_MAX.
constexpr std::size_t inheritedCountLimit = 100000;

} // namespace

std::optional<std::size_t> GitConfigVariables::inheritedCount() {
    const char* text = std::getenv("GIT_CONFIG_COUNT");
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    const std::string_view digits(text);
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc() || end != digits.data() + digits.size() || count > inheritedCountLimit) {
        return std::nullopt;
    }
    return count;
}

std::vector<GitConfigVariables::Setting> GitConfigVariables::after(std::size_t inherited,
                                                                   const std::vector<Setting>& settings) {
    std::vector<Setting> variables;
    if (settings.empty()) {
        return variables;
    }
    variables.emplace_back("GIT_CONFIG_COUNT", std::to_string(inherited + settings.size()));
    for (std::size_t index = 0; index < settings.size(); ++index) {
        const std::string number = std::to_string(inherited + index);
        variables.emplace_back("GIT_CONFIG_KEY_" + number, settings[index].first);
        variables.emplace_back("GIT_CONFIG_VALUE_" + number, settings[index].second);
    }
    return variables;
}

std::optional<std::string>
GitConfigVariables::allowedProtocols(const std::vector<std::string_view>& refused) {
    const char* set = std::getenv("GIT_ALLOW_PROTOCOL");
    if (set == nullptr) {
        return std::nullopt;
    }
    std::string_view allowed(set);
    std::string kept;
    while (!allowed.empty()) {
        const std::size_t colon = std::min(allowed.find(':'), allowed.size());
        const std::string_view protocol = allowed.substr(0, colon);
        allowed.remove_prefix(std::min(colon + 1, allowed.size()));
        if (!protocol.empty() && std::find(refused.begin(), refused.end(), protocol) == refused.end()) {
            kept += (kept.empty() ? "" : ":") + std::string(protocol);
        }
    }
    return kept;
}

} // namespace korvane
