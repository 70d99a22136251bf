#pragma once

#include <string>

namespace korvane {

// Shows a modal informational message with one "OK" button and returns once it is dismissed. Main thread.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void showInfoAlert(const std::string& title, const std::string& message) = 0;
};

} // namespace korvane
