#pragma once

#include "config/popupposition.h"

#include <QString>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;

namespace korvane {

// The items of a popup position picker in menu order: the automatic choice under its own title, a
// divider, then the six fixed places. Translates between a picker's index and the position. Main
// thread.
class PopupPositionMenu {
public:
    explicit PopupPositionMenu(const QString& automaticTitle);

    // Adds the items to `box`, the divider as a separator.
    void fill(QComboBox& box) const;
    // The position the item at `index` stands for; none for the automatic choice.
    std::optional<PopupPosition> positionAt(int index) const;
    // The index that shows `position`: its fixed place, else the automatic choice.
    int indexOf(std::optional<PopupPosition> position) const;

private:
    // The empty title stands for the divider.
    std::vector<std::pair<QString, std::optional<PopupPosition>>> items_;
};

} // namespace korvane
