#pragma once

#include "popup/popupviewmodel.h"
#include "popup/views/accessiblerowset.h"
#include "popup/views/paintcontext.h"

#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// The popup's quick reference in help mode: the title, the scope filters, the keyboard shortcuts and
// the footer, one numbered line each. When the view model's help position changes it scrolls that
// line to the top with a short ease-out. Main thread.
class QuickReferenceView final : public QWidget {
    Q_OBJECT

public:
    static constexpr double inset = 12;
    static constexpr double spacing = 12;
    static constexpr double keyColumnWidth = 100;
    static constexpr double keySpacing = 8;

    struct Shortcut {
        const char* key;
        const char* description;
    };
    static const std::vector<Shortcut>& quickReferenceShortcuts();

    // One line of the reference as laid out, in content coordinates.
    struct Line {
        enum class Kind { title, section, row, footer } kind = Kind::row;
        std::string key;
        std::string description;
        double top = 0;
        double height = 0;
        // Extra room above the text (the "Shortcuts" and footer lines) and below it (the title).
        double topInset = 0;
        double bottomInset = 0;
    };

    QuickReferenceView(std::shared_ptr<PopupViewModel> model, std::function<PaintContext()> context,
                       QWidget* parent = nullptr);

    // The lines for the built-in scopes at this width.
    static std::vector<Line> lines(const PaintContext& context, double width);
    static double contentHeight(const std::vector<Line>& lines);

    // Follows the view model; `entered` when help mode was just entered (no animation then).
    void sync(bool entered);
    double scrollOffset() const { return offset_; }
    // The offset that puts line `number` at the top, within the scroll range; nothing past the end.
    std::optional<double> offsetForLine(int number) const;
    // The lines as assistive technology reads them, in order: a row says its key, then its description.
    std::vector<AccessibleRow> accessibleRows() const;

signals:
    // The rows that assistive technology reads may have changed.
    void accessibleRowsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::shared_ptr<PopupViewModel> model_;
    std::function<PaintContext()> context_;
    double offset_ = 0;
    int lastPosition_ = 0;
    QVariantAnimation scroll_;
};

} // namespace korvane
