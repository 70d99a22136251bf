#pragma once

#include <QAbstractButton>
#include <QColor>
#include <optional>
#include <string>

namespace korvane {

// A button drawn as a capsule: the scope tabs (a selected tab is semibold on the accent colour at low
// opacity) and small symbol buttons such as "plus" on a faint fill. Its accessible name is its text,
// or its tooltip when it shows only a symbol; a tab is told to assistive technology as a page tab,
// selected or not (CapsuleButtonAccessible). Main thread.
class CapsuleButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit CapsuleButton(const QString& text, QWidget* parent = nullptr);

    // A symbol of SymbolIcon drawn before the text (or alone), in the button's text colour.
    void setSymbol(const std::string& symbol, int size = 12);
    // A picture drawn before the text at `size` (an application icon); replaces any symbol.
    void setPicture(const QIcon& icon, int size = 16);
    // Makes the button selectable (a tab) and selects it or not; assistive technology is told.
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    // Whether the button has been given a selected state, as a tab is.
    bool isSelectable() const { return selectable_; }
    // The capsule's fill while not selected; none by default.
    void setIdleFill(std::optional<QColor> fill);
    // Padding around the content: horizontal, vertical.
    void setPadding(int horizontal, int vertical);
    // Points of the text; 0 keeps the widget's font.
    void setPointSize(double points);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QFont textFont() const;
    int iconSize() const;
    void refreshAccessibleName();

    bool selected_ = false;
    bool selectable_ = false;
    std::optional<QColor> idleFill_;
    std::string symbol_;
    int symbolSize_ = 12;
    QIcon picture_;
    int pictureSize_ = 16;
    int horizontalPadding_ = 10;
    int verticalPadding_ = 5;
    double pointSize_ = 0;
};

} // namespace korvane
