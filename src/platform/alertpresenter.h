#pragma once

#include <string>

namespace korvane {

// Shows modal messages and returns once they are dismissed: an informational one with one "OK" button,
// and a question the user answers with the accept button or "Cancel". Main thread.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void showInfoAlert(const std::string& title, const std::string& message) = 0;
    // True only when the user chose `acceptLabel`; closing the box counts as "Cancel".
    virtual bool confirm(const std::string& title, const std::string& message,
                         const std::string& acceptLabel) = 0;
};

} // namespace korvane
