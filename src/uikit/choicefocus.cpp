#include "uikit/choicefocus.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QObject>

namespace korvane {
namespace {

void tabToChosen(const QButtonGroup& group) {
    const QList<QAbstractButton*> buttons = group.buttons();
    const QAbstractButton* chosen = group.checkedButton();
    for (QAbstractButton* button : buttons) {
        // With nothing chosen, the first button is the way in.
        const bool stop = chosen ? button == chosen : button == buttons.front();
        const Qt::FocusPolicy policy = button->focusPolicy();
        button->setFocusPolicy(stop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                    : Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

// Qt hands the Tab stop to a button the focus enters (a click that chose nothing, say); once the
// focus leaves, the stop goes back to the choice.
class FocusLeaveWatch final : public QObject {
public:
    explicit FocusLeaveWatch(QButtonGroup& group)
        : QObject(&group)
        , group_(group) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            tabToChosen(group_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QButtonGroup& group_;
};

} // namespace

void ChoiceFocus::follow(QButtonGroup& group) {
    auto* watch = new FocusLeaveWatch(group);
    for (QAbstractButton* button : group.buttons()) {
        button->installEventFilter(watch);
    }
    QObject::connect(&group, &QButtonGroup::buttonToggled, &group, [&group] { tabToChosen(group); });
    tabToChosen(group);
}

} // namespace korvane
