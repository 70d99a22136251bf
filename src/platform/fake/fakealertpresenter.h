#pragma once

#include "platform/alertpresenter.h"

#include <functional>
#include <vector>

namespace korvane {

// Records each alert and question as (title, message) and returns at once, as if dismissed (or answered
// with `confirmAnswer`). Main thread.
class FakeAlertPresenter final : public AlertPresenter {
public:
    struct Alert {
        std::string title;
        std::string message;
        bool operator==(const Alert&) const = default;
    };

    void showInfoAlert(const std::string& title, const std::string& message) override {
        alerts_.push_back({title, message});
        if (onShow) {
            onShow(alerts_.back());
        }
    }

    // Recorded like an alert; answers `confirmAnswer`.
    bool confirm(const std::string& title, const std::string& message,
                 const std::string& /*acceptLabel*/) override {
        showInfoAlert(title, message);
        return confirmAnswer;
    }

    const std::vector<Alert>& alerts() const { return alerts_; }

    bool confirmAnswer = true;

    // Runs while the alert is "on screen", so a test can look at what the caller does meanwhile.
    std::function<void(const Alert&)> onShow;

private:
    std::vector<Alert> alerts_;
};

} // namespace korvane
