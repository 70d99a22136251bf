#pragma once

#include <QWidget>
#include <string>

namespace korvane {

// The search header as assistive technology meets it: a status bar that paints nothing, laid over the
// header that PopupView paints and named with what the header shows now; each new text is announced.
// Main thread.
class SearchHeaderStatus final : public QWidget {
    Q_OBJECT

public:
    explicit SearchHeaderStatus(QWidget* parent);

    // The header's text now; announced once the change is done, when it differs from the last.
    void setText(const std::string& text);

private:
    void settle();

    QString pending_;
    bool queued_ = false;
};

} // namespace korvane
