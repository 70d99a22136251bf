#include "settings/views/popuppositionmenu.h"

#include <QComboBox>

namespace korvane {

PopupPositionMenu::PopupPositionMenu(const QString& automaticTitle)
    : items_{
          {automaticTitle, std::nullopt},
          {QString(), std::nullopt},
          {QStringLiteral("Top Left"), PopupPosition::topLeft},
          {QStringLiteral("Top Right"), PopupPosition::topRight},
          {QStringLiteral("Center"), PopupPosition::center},
          {QStringLiteral("Bottom Left"), PopupPosition::bottomLeft},
          {QStringLiteral("Bottom Center"), PopupPosition::bottomCenter},
          {QStringLiteral("Bottom Right"), PopupPosition::bottomRight},
      } {}

void PopupPositionMenu::fill(QComboBox& box) const {
    for (const auto& [title, position] : items_) {
        if (title.isEmpty()) {
            box.insertSeparator(box.count());
        } else {
            box.addItem(title);
        }
    }
}

std::optional<PopupPosition> PopupPositionMenu::positionAt(int index) const {
    if (index < 0 || index >= static_cast<int>(items_.size())) {
        return std::nullopt;
    }
    return items_[static_cast<std::size_t>(index)].second;
}

int PopupPositionMenu::indexOf(std::optional<PopupPosition> position) const {
    int index = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (!items_[i].first.isEmpty() && items_[i].second && items_[i].second == position) {
            index = static_cast<int>(i);
        }
    }
    return index;
}

} // namespace korvane
