#pragma once

#include <QColor>
#include <QWidget>

namespace korvane {

// A short text on a small rounded chip: the key of a snippet row, the source badge of a mock popup.
// Main thread.
class Badge : public QWidget {
    Q_OBJECT

public:
    explicit Badge(const QString& text, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }
    // The chip's fill; the default is the faint quaternary fill of the palette.
    void setFill(const QColor& fill);
    // The text colour; the default is the palette's text colour.
    void setTextColor(const QColor& color);
    void setPadding(int horizontal, int vertical);
    void setRadius(double radius);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor fill_;
    QColor textColor_;
    int horizontalPadding_ = 6;
    int verticalPadding_ = 2;
    double radius_ = 4;
};

} // namespace korvane
