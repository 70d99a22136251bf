#pragma once

namespace korvane {

// Which of its three screens the popup shows: the category browser, search results or the scope help.
enum class PopupMode { browser, search, help };

} // namespace korvane
