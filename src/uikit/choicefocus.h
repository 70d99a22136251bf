#pragma once

class QButtonGroup;

namespace korvane {

// Makes the chosen button of a group of exclusive choices (checkable buttons told as radio buttons)
// the group's one Tab stop, so that Tab and Shift+Tab enter the group on the choice a screen reader
// should hear first. Qt leaves that stop on the button that last had the focus, which need not be
// the chosen one: a choice shown from the settings is no focus of the user's. The arrow keys still
// move the choice. Main thread.
class ChoiceFocus {
public:
    // Keeps it so for the buttons of `group`, now and whenever the choice changes or the focus leaves
    // one of them. Lives as long as the group.
    static void follow(QButtonGroup& group);
};

} // namespace korvane
