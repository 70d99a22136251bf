#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace korvane {

// One symbol of the kit ("lock.shield", "checkmark.circle.fill", ...) standing alone in a square of
// fixed size, as the onboarding's steps place them; an unknown name draws the "app" symbol. Its
// accessible name is the symbol's name until its owner gives a better one. Main thread.
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
