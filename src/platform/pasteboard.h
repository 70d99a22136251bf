#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One item of the clipboard: its formats (MIME types on Linux) in the order the item offered them,
// and the bytes of each format that had any.
struct PasteboardItem {
    std::vector<std::string> types;
    std::vector<std::pair<std::string, std::string>> dataByType;

    bool operator==(const PasteboardItem&) const = default;
};

// The desktop's general clipboard. Main thread.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // The clipboard's text, or nothing when it holds no text.
    virtual std::optional<std::string> string() const = 0;
    virtual void setString(const std::string& text) = 0;

    // The formats of each item, without the protocol's own pseudo-formats.
    virtual std::vector<std::vector<std::string>> itemTypes() const = 0;
    // The bytes of one format of one item; nothing when the owner gives none.
    virtual std::optional<std::string> data(std::size_t item, const std::string& type) const = 0;

    // Rises whenever the clipboard's contents change, by Korvane or anyone else.
    virtual std::uint64_t changeCount() const = 0;

    // Empties the clipboard and puts `text` on it, also where the desktop pastes its selection from
    // (the primary selection on X11); whether it took.
    virtual bool replaceWithString(const std::string& text) = 0;
    // How long ago another program last took the text of the last replaceWithString, from the
    // clipboard or the primary selection; nothing while none has. Asking only which formats there
    // are does not count.
    virtual std::optional<std::chrono::microseconds> sinceTextTaken() const = 0;
    // Empties the clipboard and writes `items` to it.
    virtual void replaceWithItems(const std::vector<PasteboardItem>& items) = 0;
};

} // namespace korvane
