#pragma once

#include "config/themeconfig.h"
#include "popup/popupviewmodel.h"

#include <QWidget>
#include <memory>

namespace korvane {

class PopupContentView;

// The live preview of the preferences page: the real popup view over four sample results, drawn with
// the theme the draft gives, on a grey backdrop that follows its light or dark appearance. As wide as
// the theme's popup (380 when unset, at most 400), 200 high, rounded, and deaf to the pointer and
// the keyboard. Main thread.
class PopupPreviewSection final : public QWidget {
    Q_OBJECT

public:
    static constexpr int defaultWidth = 380;
    static constexpr int maxWidth = 400;
    static constexpr int previewHeight = 200;
    static constexpr double radius = 8;

    PopupPreviewSection(std::shared_ptr<PopupViewModel> previewVM, const ThemeConfig& themeConfig,
                        QWidget* parent = nullptr);

    // Hands a new theme to the sample model (which ignores an equal one) and resizes to its width.
    void setThemeConfig(const ThemeConfig& themeConfig);
    static int frameWidth(const ThemeConfig& themeConfig);
    // The backdrop's grey level: 0.85 for a light appearance, 0.1 otherwise.
    static double backdropLevel(const ThemeConfig& themeConfig);

    const std::shared_ptr<PopupViewModel>& previewVM() const { return previewVM_; }
    PopupContentView& content() const { return *content_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::shared_ptr<PopupViewModel> previewVM_;
    PopupContentView* content_ = nullptr;
};

} // namespace korvane
