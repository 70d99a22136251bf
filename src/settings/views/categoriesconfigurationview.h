#pragma once

#include "settings/configurationviewmodel.h"

#include <QListWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The sources list of the preferences page: the shown categories in the user's order, then the
// hidden ones struck through, each with its description and an eye button that shows or hides it.
// Shown rows are reordered by dragging. Edits only the draft's "providers" through the view model.
// Main thread.
class CategoriesConfigurationView final : public QListWidget {
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

    // Rebuilds the rows from the view model.
    void refresh();
    // The eye button of a row.
    void toggle(const std::string& id);
    // A drag's move, with offsets as movedShownIds takes them.
    void move(const std::vector<std::size_t>& sources, std::size_t destination);

protected:
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* makeRow(const CategoryDisplayItem& item, const CategoryCatalogSnapshot& catalog);

    std::shared_ptr<ConfigurationViewModel> viewModel_;
};

} // namespace korvane
