#pragma once

#include "config/themeconfig.h"
#include "popup/resolvedsurface.h"
#include "settings/configurationviewmodel.h"
#include "settings/views/configurationservices.h"

#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace korvane {

class CategoriesConfigurationView;
class PopupPreviewSection;
class SettingStepper;

// The preferences page: trigger and search settings, the sources list, the popup's look with "Reset
// to Defaults", and a live preview. Every control writes its field of the view model's draft and asks
// for the debounced save; values are shown as stored, never clamped or written back on display.
// Main thread.
class PreferencesTabView final : public QWidget {
    Q_OBJECT

public:
    // What Linux says where the popup's glass needs another operating system.
    static const QString& glassUnavailableOnThisDesktop();

    PreferencesTabView(std::shared_ptr<ConfigurationViewModel> viewModel,
                       const ConfigurationServices& services, QWidget* parent = nullptr);
    ~PreferencesTabView() override;

    // The theme the draft's settings give, resolved as the popup resolves them.
    ThemeConfig previewTheme() const;
    ResolvedSurface effectiveSurface() const;
    // True when `text` may be saved as the font colour: empty, or six hexadecimal digits (one leading
    // sign allowed) once every "#" is removed.
    static bool isSavableColorText(const QString& text);
    // "#RRGGBB" of a colour's red, green and blue, each times 255 and truncated.
    static QString hexText(const QColor& color);

    CategoriesConfigurationView& sources() const { return *sources_; }
    PopupPreviewSection& preview() const { return *preview_; }

private:
    QWidget* makeTriggerSection();
    QWidget* makeSourcesSection();
    QWidget* makeAppearanceSection();
    QWidget* makePreviewSection();
    QWidget* makeColorRow();
    // Writes one change into the draft and schedules the save.
    void edit(const std::function<void(AppConfig&)>& change, bool save = true);
    void refresh();
    void chooseColor();
    void resetToDefaults();

    std::shared_ptr<ConfigurationViewModel> viewModel_;
    const ConfigurationServices& services_;
    ConfigurationViewModel::ObserverID observer_ = 0;
    QLineEdit* trigger_ = nullptr;
    QCheckBox* caseSensitive_ = nullptr;
    SettingStepper* scanDepth_ = nullptr;
    SettingStepper* branchAge_ = nullptr;
    CategoriesConfigurationView* sources_ = nullptr;
    QComboBox* position_ = nullptr;
    SettingStepper* fontSize_ = nullptr;
    QWidget* colorRow_ = nullptr;
    QToolButton* colorWell_ = nullptr;
    QLineEdit* colorText_ = nullptr;
    SettingStepper* rowPadding_ = nullptr;
    SettingStepper* rowHeight_ = nullptr;
    QComboBox* badgeStyle_ = nullptr;
    QPushButton* glass_ = nullptr;
    QPushButton* dark_ = nullptr;
    QPushButton* light_ = nullptr;
    QLabel* glassReason_ = nullptr;
    PopupPreviewSection* preview_ = nullptr;
};

} // namespace korvane
