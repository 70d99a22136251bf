#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

namespace korvane {

// One of the onboarding's symbols ("lock.shield", "checkmark.circle.fill", "xmark", ...) drawn as
// paths in a fixed square, so that it scales to any size and takes any colour; an unknown name draws
// the "app" symbol. Carries its description as its accessible name. Main thread.
class SymbolView : public QWidget {
public:
    SymbolView(QString name, double size, QColor color, QWidget* parent = nullptr);

    // Draws `name` filling the square of `box`.
    static void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color);
    // `name` as an icon of `size` points, for buttons.
    static QIcon icon(const QString& name, int size, const QColor& color);
    // Whether `name` is one of the symbols drawn here.
    static bool knows(const QString& name);

    const QString& name() const { return name_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    QColor color_;
};

} // namespace korvane
