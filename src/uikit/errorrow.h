#pragma once

#include <QWidget>

class QLabel;

namespace korvane {

// A form's error line: a warning triangle and a small wrapping text in the destructive colour. The
// form sets the text and shows or hides the row. Main thread.
class ErrorRow final : public QWidget {
    Q_OBJECT

public:
    // `textName` is the object name of the text label, by which tests and assistive technology find it.
    explicit ErrorRow(const QString& textName, QWidget* parent = nullptr);

    QLabel* text() const { return text_; }

private:
    QLabel* text_ = nullptr;
};

} // namespace korvane
