#pragma once

namespace korvane {

// The pages of the settings window, in the sidebar's order.
enum class ConfigurationPage { snippets, preferences };

} // namespace korvane
