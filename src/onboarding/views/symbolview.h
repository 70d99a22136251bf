#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace korvane {

// One symbol of the kit ("lock.shield", "checkmark.circle.fill", ...) standing alone in a square of
// fixed size, as the onboarding's steps place them; an unknown name draws the "app" symbol. A picture
// without words: it has an accessible name only when its owner gives it one. Main thread.
class SymbolView : public QWidget {
public:
    SymbolView(QString name, double size, QColor color, QWidget* parent = nullptr);

    const QString& name() const { return name_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    QColor color_;
};

} // namespace korvane
