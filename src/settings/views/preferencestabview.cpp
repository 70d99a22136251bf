#include "settings/views/preferencestabview.h"

#include "config/badgepalette.h"
#include "popup/popupsurfacestyle.h"
#include "settings/appearancechoice.h"
#include "settings/views/categoriesconfigurationview.h"
#include "settings/views/popuppositionmenu.h"
#include "settings/views/popuppreviewsection.h"
#include "settings/views/settingstepper.h"
#include "uikit/choicefocus.h"
#include "uikit/focusframe.h"
#include "uikit/kitcolors.h"
#include "uikit/kittoolbutton.h"
#include "uikit/pickeraccessible.h"
#include "uikit/wheelguard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGraphicsOpacityEffect>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace korvane {
namespace {

QString number(double value) {
    return QString::number(value, 'f', 0);
}

const PopupPositionMenu& globalPositions() {
    static const PopupPositionMenu menu(QStringLiteral("Auto (follow caret)"));
    return menu;
}

const char* const badgeTexts[] = {"pastel", "saturated", "minimal"};

int badgeIndex(BadgePalette palette) {
    const auto found = std::find(std::begin(badgeTexts), std::end(badgeTexts), toString(palette));
    return found == std::end(badgeTexts) ? 0 : static_cast<int>(found - std::begin(badgeTexts));
}

QGroupBox* section(QWidget* parent, const QString& title) {
    // A group box reads "&" as a keyboard mnemonic; the title shows it as written.
    QString shown = title;
    shown.replace('&', QStringLiteral("&&"));
    auto* box = new QGroupBox(shown, parent);
    box->setAccessibleName(title);
    return box;
}

QLabel* caption(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(12);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, KitColors::secondaryText(*parent));
    label->setPalette(palette);
    label->setWordWrap(true);
    return label;
}

} // namespace

const QString& PreferencesTabView::glassUnavailableOnThisDesktop() {
    static const QString text = QStringLiteral("Not available on this desktop");
    return text;
}

PreferencesTabView::PreferencesTabView(std::shared_ptr<ConfigurationViewModel> viewModel,
                                       const ConfigurationServices& services, QWidget* parent)
    : QWidget(parent)
    , viewModel_(std::move(viewModel))
    , services_(services) {
    setObjectName(QStringLiteral("preferencesPage"));
    PickerAccessible::install();
    QFont form = font();
    form.setPixelSize(14);
    setFont(form);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);
    layout->addWidget(makeTriggerSection());
    layout->addWidget(makeSourcesSection());
    layout->addWidget(makeAppearanceSection());
    layout->addWidget(makePreviewSection());
    layout->addStretch(1);
    // The page scrolls under the wheel; a value control the pointer passes over keeps its value.
    QWidget* const valueControls[] = {scanDepth_, branchAge_,  position_,  fontSize_,
                                      colorWell_, rowPadding_, rowHeight_, badgeStyle_};
    for (QWidget* control : valueControls) {
        WheelGuard::install(*control);
    }
    observer_ = viewModel_->addObserver([this](ConfigurationViewModel::Field field) {
        if (field == ConfigurationViewModel::Field::draftConfig) {
            refresh();
        }
    });
    refresh();
}

PreferencesTabView::~PreferencesTabView() {
    viewModel_->removeObserver(observer_);
}

void PreferencesTabView::edit(const std::function<void(AppConfig&)>& change, bool save) {
    AppConfig draft = viewModel_->draftConfig();
    change(draft);
    viewModel_->setDraftConfig(std::move(draft));
    if (save) {
        viewModel_->scheduleSave();
    }
}

QWidget* PreferencesTabView::makeTriggerSection() {
    auto* box = section(this, QStringLiteral("Trigger & Search"));
    auto* rows = new QFormLayout(box);
    trigger_ = new QLineEdit(box);
    trigger_->setObjectName(QStringLiteral("trigger"));
    trigger_->setAccessibleName(QStringLiteral("Trigger sequence:"));
    trigger_->setToolTip(QStringLiteral("Character combo that activates completion"));
    connect(trigger_, &QLineEdit::textEdited, this,
            [this](const QString& text) { edit([&](AppConfig& c) { c.trigger = text.toStdString(); }); });
    rows->addRow(QStringLiteral("Trigger sequence:"), trigger_);

    caseSensitive_ = new QCheckBox(QStringLiteral("Case-sensitive search"), box);
    caseSensitive_->setObjectName(QStringLiteral("caseSensitive"));
    caseSensitive_->setToolTip(QStringLiteral(
        "Match exact capitalization when searching. May be overridden by project .korvane.json"));
    // The state change, not the click: a screen reader toggles the box without clicking it.
    connect(caseSensitive_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](AppConfig& c) { c.settings.caseSensitive = on; }); });
    rows->addRow(caseSensitive_);

    scanDepth_ = new SettingStepper(
        1, 10, 1, [](double v) { return QStringLiteral("Scan depth: ") + number(v); }, box);
    scanDepth_->setObjectName(QStringLiteral("scanDepth"));
    scanDepth_->setToolTip(QStringLiteral("How deep to recurse into project directories"));
    scanDepth_->onStep = [this](double v) {
        edit([&](AppConfig& c) { c.settings.scanDepth = static_cast<std::int64_t>(v); });
    };
    rows->addRow(scanDepth_);

    branchAge_ = new SettingStepper(
        0, 365, 1,
        [](double v) {
            return QStringLiteral("Max branch age (days): ") +
                   (v == 0 ? QStringLiteral("Disabled") : number(v));
        },
        box);
    branchAge_->setObjectName(QStringLiteral("maxBranchAge"));
    branchAge_->setToolTip(QStringLiteral("Hide branches older than N days (0 = show all)"));
    branchAge_->onStep = [this](double v) {
        edit([&](AppConfig& c) { c.settings.maxBranchAgeDays = static_cast<std::int64_t>(v); });
    };
    rows->addRow(branchAge_);
    return box;
}

QWidget* PreferencesTabView::makeSourcesSection() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* title = new QLabel(QStringLiteral("Providers"), box);
    QFont bold = title->font();
    bold.setWeight(QFont::DemiBold);
    title->setFont(bold);
    column->addWidget(title);
    column->addWidget(caption(
        box, QStringLiteral(
                 "Choose which sources appear in completions. Drag to reorder, toggle to show or hide.")));
    sources_ = new CategoriesConfigurationView(viewModel_, box);
    sources_->setMinimumHeight(200);
    column->addSpacing(6);
    column->addWidget(sources_);
    return box;
}

QWidget* PreferencesTabView::makeAppearanceSection() {
    auto* box = section(this, QStringLiteral("Appearance"));
    auto* rows = new QFormLayout(box);
    position_ = new QComboBox(box);
    position_->setObjectName(QStringLiteral("popupPosition"));
    position_->setAccessibleName(QStringLiteral("Popup position:"));
    position_->setToolTip(QStringLiteral("Where the popup appears. Per-app overrides in Snippets."));
    globalPositions().fill(*position_);
    connect(position_, &QComboBox::activated, this, [this](int index) {
        const auto position = globalPositions().positionAt(index);
        edit([&](AppConfig& c) { c.settings.popupPosition = position; });
    });
    rows->addRow(QStringLiteral("Popup position:"), position_);

    fontSize_ = new SettingStepper(
        10, 20, 1, [](double v) { return QStringLiteral("Font size: ") + number(v); }, box);
    fontSize_->setObjectName(QStringLiteral("fontSize"));
    fontSize_->setToolTip(QStringLiteral("Text size in the completion popup (10-20pt)"));
    fontSize_->onStep = [this](double v) { edit([&](AppConfig& c) { c.settings.fontSize = v; }); };
    rows->addRow(fontSize_);

    rows->addRow(QStringLiteral("Font color:"), makeColorRow());

    rowPadding_ = new SettingStepper(
        0, 20, 1, [](double v) { return QStringLiteral("Row padding: ") + number(v); }, box);
    rowPadding_->setObjectName(QStringLiteral("rowPadding"));
    rowPadding_->setToolTip(QStringLiteral("Vertical spacing between rows (0-20pt)"));
    rowPadding_->onStep = [this](double v) { edit([&](AppConfig& c) { c.settings.rowPadding = v; }); };
    rows->addRow(rowPadding_);

    rowHeight_ = new SettingStepper(
        24, 40, 2, [](double v) { return QStringLiteral("Row height: ") + number(v); }, box);
    rowHeight_->setObjectName(QStringLiteral("rowHeight"));
    rowHeight_->setToolTip(QStringLiteral("Height of result rows in search and browser modes (24-40pt)"));
    rowHeight_->onStep = [this](double v) { edit([&](AppConfig& c) { c.settings.rowHeight = v; }); };
    rows->addRow(rowHeight_);

    badgeStyle_ = new QComboBox(box);
    badgeStyle_->setObjectName(QStringLiteral("badgeStyle"));
    badgeStyle_->setAccessibleName(QStringLiteral("Badge style"));
    badgeStyle_->setToolTip(QStringLiteral("Visual style for source type badges"));
    badgeStyle_->addItems({QStringLiteral("Pastel"), QStringLiteral("Saturated"), QStringLiteral("Minimal")});
    connect(badgeStyle_, &QComboBox::activated, this, [this](int index) {
        // The palette already in effect chosen again changes nothing, so nothing is written: an
        // absent setting stays absent.
        if (index == badgeIndex(previewTheme().badgePalette)) {
            return;
        }
        edit([&](AppConfig& c) { c.settings.badgePalette = std::string(badgeTexts[index]); });
    });
    rows->addRow(QStringLiteral("Badge style:"), badgeStyle_);

    auto* appearance = new QWidget(box);
    auto* stack = new QVBoxLayout(appearance);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);
    auto* segments = new QWidget(appearance);
    segments->setObjectName(QStringLiteral("appearance"));
    segments->setAccessibleName(QStringLiteral("Appearance:"));
    // Linux has no glass surface yet; the tooltip says so rather than naming another system.
    segments->setToolTip(
        QStringLiteral("Popup appearance: Glass (where the desktop supports it), Dark, or Light"));
    // The chosen segment's focus frame, on its edge, stands out from its accent fill.
    segments->setStyleSheet(
        QStringLiteral("QPushButton:checked { background: palette(highlight); "
                       "color: palette(highlighted-text); border: 1px solid palette(highlight); "
                       "border-radius: 3px; padding: 3px 10px; } "
                       "QPushButton:checked:focus { border: 2px solid %1; padding: 2px 9px; }")
            .arg(FocusFrame::colorOnAccent(palette()).name()));
    auto* segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    auto* group = new QButtonGroup(segments);
    const std::pair<QPushButton**, AppearanceChoice> choices[] = {{&glass_, AppearanceChoice::glass},
                                                                  {&dark_, AppearanceChoice::dark},
                                                                  {&light_, AppearanceChoice::light}};
    for (const auto& [button, choice] : choices) {
        QString title = QString::fromLatin1(toString(choice).data());
        title[0] = title[0].toUpper();
        *button = new QPushButton(title, segments);
        (*button)->setObjectName(QStringLiteral("appearance:") +
                                 QString::fromLatin1(toString(choice).data()));
        (*button)->setAccessibleName(title);
        (*button)->setCheckable(true);
        // One choice of three, one Tab stop moved with the arrows: assistive technology is told radio
        // buttons.
        (*button)->setAutoExclusive(true);
        (*button)->setAutoDefault(false);
        group->addButton(*button);
        segmentRow->addWidget(*button);
        const AppearanceChoice chosen = choice;
        connect(*button, &QPushButton::toggled, this, [this, chosen](bool on) {
            if (on) {
                edit([&](AppConfig& c) { applyAppearanceChoice(chosen, c.settings); });
            }
        });
    }
    ChoiceFocus::follow(*group);
    segmentRow->addStretch(1);
    stack->addWidget(segments);
    glassReason_ = caption(appearance, QString());
    glassReason_->setObjectName(QStringLiteral("glassReason"));
    stack->addWidget(glassReason_);
    rows->addRow(QStringLiteral("Appearance:"), appearance);

    auto* reset = new QPushButton(QStringLiteral("Reset to Defaults"), box);
    reset->setObjectName(QStringLiteral("resetToDefaults"));
    reset->setAccessibleName(reset->text());
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, [this] { resetToDefaults(); });
    rows->addRow(reset);
    return box;
}

QWidget* PreferencesTabView::makeColorRow() {
    colorRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(colorRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    colorWell_ = new KitToolButton(colorRow_);
    colorWell_->setObjectName(QStringLiteral("colorWell"));
    colorWell_->setAccessibleName(QStringLiteral("Font color picker"));
    colorWell_->setFixedSize(44, 24);
    colorWell_->setIconSize(QSize(36, 16));
    connect(colorWell_, &QToolButton::clicked, this, [this] { chooseColor(); });
    colorText_ = new QLineEdit(colorRow_);
    colorText_->setObjectName(QStringLiteral("colorText"));
    colorText_->setAccessibleName(QStringLiteral("Font color value"));
    colorText_->setFixedWidth(100);
    // Empty, the field says what the popup then uses (the well shows that colour).
    colorText_->setPlaceholderText(QStringLiteral("Default"));
    connect(colorText_, &QLineEdit::textEdited, this, [this](const QString& text) {
        edit(
            [&](AppConfig& c) {
                c.settings.fontColor = text.isEmpty() ? std::nullopt : std::optional(text.toStdString());
            },
            isSavableColorText(text));
    });
    row->addWidget(colorWell_);
    row->addWidget(colorText_);
    row->addStretch(1);
    return colorRow_;
}

QWidget* PreferencesTabView::makePreviewSection() {
    auto* box = section(this, QStringLiteral("Preview"));
    auto* column = new QVBoxLayout(box);
    std::shared_ptr<PopupViewModel> sample;
    if (services_.scheduler) {
        sample = PopupViewModel::makeSettingsPreview(*services_.scheduler);
    }
    if (sample) {
        preview_ = new PopupPreviewSection(sample, previewTheme(), box);
        column->addWidget(preview_, 0, Qt::AlignHCenter);
    }
    return box;
}

bool PreferencesTabView::isSavableColorText(const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    QString digits = text;
    digits.remove('#');
    if (digits.size() != 6) {
        return false;
    }
    int start = digits.front() == '+' || digits.front() == '-' ? 1 : 0;
    if (start == static_cast<int>(digits.size())) {
        return false;
    }
    for (int i = start; i < digits.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(digits[i].toLatin1())) || digits[i].unicode() > 127) {
            return false;
        }
    }
    return true;
}

QString PreferencesTabView::hexText(const QColor& color) {
    // Each component times 255, truncated; the small allowance keeps a channel picked as a whole
    // number (127, stored as 127/255) from falling to the one below.
    const QColor rgb = color.toRgb();
    auto channel = [](float component) {
        return std::clamp(static_cast<int>(std::floor(static_cast<double>(component) * 255.0 + 1e-4)), 0,
                          255);
    };
    return QString::asprintf("#%02X%02X%02X", channel(rgb.redF()), channel(rgb.greenF()),
                             channel(rgb.blueF()));
}

ThemeConfig PreferencesTabView::previewTheme() const {
    // The same resolution as the running popup's, so the preview shows what the popup will.
    const bool glass = services_.capabilities && services_.capabilities->supportsGlass();
    return ThemeConfig::fromSettings(viewModel_->draftConfig().settings, glass);
}

ResolvedSurface PreferencesTabView::effectiveSurface() const {
    const bool glass = services_.capabilities && services_.capabilities->supportsGlass();
    const bool reduce = services_.capabilities && services_.capabilities->reduceTransparency();
    return PopupSurfaceStyle::resolve(previewTheme(), glass, reduce);
}

void PreferencesTabView::refresh() {
    const AppConfig& draft = viewModel_->draftConfig();
    const SettingsConfig& settings = draft.settings;
    if (trigger_->text().toStdString() != draft.trigger) {
        trigger_->setText(QString::fromStdString(draft.trigger));
    }
    // Showing the stored state is no choice of the user's: it writes nothing.
    const QSignalBlocker quietCase(caseSensitive_);
    caseSensitive_->setChecked(settings.caseSensitive);
    scanDepth_->setValue(static_cast<double>(settings.scanDepth));
    branchAge_->setValue(static_cast<double>(settings.maxBranchAgeDays));
    sources_->refresh();

    position_->setCurrentIndex(globalPositions().indexOf(settings.popupPosition));
    fontSize_->setValue(settings.fontSize.value_or(16));
    rowPadding_->setValue(settings.rowPadding.value_or(7));
    rowHeight_->setValue(settings.rowHeight.value_or(32));

    const ThemeConfig theme = previewTheme();
    // The palette the popup draws: minimal without a setting, pastel for a text that names none.
    badgeStyle_->setCurrentIndex(badgeIndex(theme.badgePalette));
    const bool glassSupported = services_.capabilities && services_.capabilities->supportsGlass();
    const auto material = settings.material ? popupMaterialFromString(*settings.material) : std::nullopt;
    const auto appearance =
        settings.appearance ? popupAppearanceFromString(*settings.appearance) : std::nullopt;
    const AppearanceChoice choice = appearanceChoice(material, appearance, glassSupported);
    for (auto [button, shown] :
         {std::pair{glass_, AppearanceChoice::glass}, std::pair{dark_, AppearanceChoice::dark},
          std::pair{light_, AppearanceChoice::light}}) {
        const QSignalBlocker quiet(button);
        button->setChecked(choice == shown);
    }
    const ResolvedSurface surface = effectiveSurface();
    QString reason;
    if (surface.glassUnavailableReason && theme.material == PopupMaterial::glass) {
        reason = glassSupported ? QString::fromStdString(*surface.glassUnavailableReason)
                                : glassUnavailableOnThisDesktop();
    }
    glassReason_->setText(reason);
    glassReason_->setVisible(!reason.isEmpty());

    const QString colorText = settings.fontColor ? QString::fromStdString(*settings.fontColor) : QString();
    if (colorText_->text() != colorText) {
        colorText_->setText(colorText);
    }
    const Color shown = settings.fontColor
                            ? ThemeConfig::colorFromHex(*settings.fontColor).value_or(theme.fontColor)
                            : theme.fontColor;
    QPixmap swatch(36, 16);
    swatch.fill(QColor::fromRgbF(static_cast<float>(shown.red), static_cast<float>(shown.green),
                                 static_cast<float>(shown.blue)));
    colorWell_->setIcon(QIcon(swatch));
    colorRow_->setEnabled(!surface.isEffectiveGlass);
    auto* fade = new QGraphicsOpacityEffect(colorRow_);
    fade->setOpacity(surface.isEffectiveGlass ? 0.5 : 1.0);
    colorRow_->setGraphicsEffect(surface.isEffectiveGlass ? fade : nullptr);
    if (!surface.isEffectiveGlass) {
        delete fade;
    }
    colorRow_->setToolTip(surface.isEffectiveGlass ? QStringLiteral("Ignored while Glass is active")
                                                   : QStringLiteral("Text color in the completion popup"));
    if (preview_) {
        preview_->setThemeConfig(theme);
    }
}

void PreferencesTabView::chooseColor() {
    const ThemeConfig theme = previewTheme();
    const auto& stored = viewModel_->draftConfig().settings.fontColor;
    const Color start =
        stored ? ThemeConfig::colorFromHex(*stored).value_or(theme.fontColor) : theme.fontColor;
    auto* dialog =
        new QColorDialog(QColor::fromRgbF(static_cast<float>(start.red), static_cast<float>(start.green),
                                          static_cast<float>(start.blue)),
                         this);
    dialog->setObjectName(QStringLiteral("colorDialog"));
    dialog->setOptions(QColorDialog::DontUseNativeDialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor& color) {
        const std::string text = hexText(color).toStdString();
        edit([&](AppConfig& c) { c.settings.fontColor = text; });
    });
    dialog->open();
}

void PreferencesTabView::resetToDefaults() {
    edit([](AppConfig& c) {
        SettingsConfig& s = c.settings;
        s.fontSize.reset();
        s.fontColor.reset();
        s.rowPadding.reset();
        s.rowHeight.reset();
        s.badgePalette.reset();
        s.popupWidth.reset();
        s.detailWidth.reset();
        s.material.reset();
        s.appearance.reset();
    });
}

} // namespace korvane
