#pragma once

#include "settings/configurationviewmodel.h"

#include <QFrame>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QVBoxLayout;

namespace korvane {

class CategoryRow;

// The sources list of the preferences page: the shown categories in the user's order, then the
// hidden ones struck through, each with its description and an eye button that shows or hides it.
// Shown rows are reordered by dragging, or from the keyboard and assistive technology (CategoryRow).
// The rows are plain widgets, so that a screen reader reaches every row's texts and eye button.
// Edits only the draft's "providers" through the view model. Main thread.
class CategoriesConfigurationView final : public QFrame {
    Q_OBJECT

public:
    // One row: a category id and whether it is shown.
    struct CategoryDisplayItem {
        std::string id;
        bool isVisible = false;

        bool operator==(const CategoryDisplayItem&) const = default;
    };

    explicit CategoriesConfigurationView(std::shared_ptr<ConfigurationViewModel> viewModel,
                                         QWidget* parent = nullptr);

    static std::vector<CategoryDisplayItem> displayItems(const ConfigurationViewModel& viewModel);
    // The shown ids after moving the rows at `sources` to `destination` (offsets over all rows,
    // the destination counted before the move); nothing when the move is ignored: no shown row among
    // the sources, or a destination below the shown rows.
    static std::optional<std::vector<std::string>> movedShownIds(const std::vector<std::string>& shown,
                                                                 const std::vector<std::size_t>& sources,
                                                                 std::size_t destination);

    // Rebuilds the rows from the view model; keyboard focus on a row or its eye button stays on that
    // source's new row or button.
    void refresh();
    int count() const { return static_cast<int>(rows_.size()); }
    // The eye button of a row.
    void toggle(const std::string& id);
    // A drag's move, with offsets as movedShownIds takes them.
    void move(const std::vector<std::size_t>& sources, std::size_t destination);
    // Moves the shown row `id` one place up (-1) or down (+1), as a drag of it would.
    void moveRow(const std::string& id, int step);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Where the keyboard focus is within the list: a source's row itself, or its eye button.
    struct FocusedPart {
        std::string id;
        bool onEye = false;
    };

    std::optional<FocusedPart> focusedPart() const;
    // Puts the focus on that part of the source's row as the list now stands, when it is there.
    void giveFocusBack(const FocusedPart& part);
    CategoryRow* makeRow(const CategoryDisplayItem& item, const CategoryCatalogSnapshot& catalog);
    // Tab goes through the rows in their order, from where the list stands in the window.
    void orderFocus();
    CategoryRow* row(const std::string& id) const;
    // The offset of the row at `point`, or none.
    std::optional<std::size_t> rowAt(const QPoint& point) const;
    // Where a row dropped at height `y` lands: before the first row whose middle lies below it.
    std::size_t destinationAt(int y) const;
    // Whether `event` carries one of this list's own rows.
    bool carriesRow(const QDropEvent& event) const;

    std::shared_ptr<ConfigurationViewModel> viewModel_;
    QVBoxLayout* column_ = nullptr;
    std::vector<CategoryRow*> rows_;
    std::size_t shownRows_ = 0;
    std::optional<std::size_t> pressedRow_;
    QPoint pressedAt_;
    // The line that shows where a dragged row would land.
    QFrame* dropLine_ = nullptr;
};

} // namespace korvane
