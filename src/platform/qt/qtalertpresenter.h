#pragma once

#include "platform/alertpresenter.h"

namespace korvane {

// The alert as a modal information box with one "OK" button, the question as a modal dialog with the
// accept button and "Cancel", the default. Messages are shown as written, never as markup; a long
// question scrolls within the screen. With KORVANE_TEST_HOOKS=1 in the environment the alert is also
// written to standard output as "[Korvane] Alert: <title>: <message>", so that whole-program tests can
// see it. Main thread.
class QtAlertPresenter final : public AlertPresenter {
public:
    void showInfoAlert(const std::string& title, const std::string& message) override;
    // With KORVANE_TEST_HOOKS=1 the question is also written as "[Korvane] Confirm: <title>: <message>".
    bool confirm(const std::string& title, const std::string& message,
                 const std::string& acceptLabel) override;
};

} // namespace korvane
