#pragma once

#include <QWidget>
#include <functional>
#include <string>

namespace korvane {

// One row of the sources list, holding the category's texts and eye button. It takes keyboard focus
// and then draws the style's focus ring; a shown row moves one place among the shown rows with
// Alt+Up and Alt+Down (or its accessible actions "Move up" and "Move down"). Main thread.
class CategoryRow final : public QWidget {
    Q_OBJECT

public:
    CategoryRow(std::string id, QWidget* parent = nullptr);

    const std::string& id() const { return id_; }
    // Which moves the list allows this row; a hidden row has none.
    void setMoves(bool up, bool down);
    // Whether the row can move by `step` (-1 up, +1 down).
    bool canMove(int step) const { return step < 0 ? canMoveUp_ : step > 0 && canMoveDown_; }
    // Asks the list to move the row by `step`, when it can.
    void move(int step);

    // Set by the list: moves the row with this id by a step.
    std::function<void(const std::string& id, int step)> onMove;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::string id_;
    bool canMoveUp_ = false;
    bool canMoveDown_ = false;
};

} // namespace korvane
