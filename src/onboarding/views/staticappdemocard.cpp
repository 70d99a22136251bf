#include "onboarding/views/staticappdemocard.h"

#include "onboarding/views/onboardingstyle.h"
#include "onboarding/views/symbolview.h"
#include "uikit/badge.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace korvane {

using namespace onboardingstyle;

StaticAppDemoCard::StaticAppDemoCard(std::string appName, std::string visualInput,
                                     std::vector<std::string> snippetLabels, const IconLookup& appIcon,
                                     const IconLoader* icons, QWidget* parent)
    : RoundedCard(parent)
    , appName_(std::move(appName))
    , visualInput_(std::move(visualInput))
    , snippetLabels_(std::move(snippetLabels)) {
    setFill(controlBackground(0.3));
    setRadius(8);
    setObjectName(QString::fromStdString("demoCard-" + appName_));
    setAccessibleName(QString::fromStdString(appName_));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(10, 10, 10, 10);
    stack->setSpacing(8);
    stack->addWidget(makeHeader(appIcon, icons));
    stack->addWidget(makeInput());
    stack->addWidget(makePopup());
    stack->addStretch(1);
}

StaticAppDemoCard::AppLook StaticAppDemoCard::look(const std::string& appName) {
    if (appName == "Terminal") {
        return {{"org.gnome.Terminal", "org.kde.konsole", "xfce4-terminal", "debian-xterm", "xterm"},
                "terminal",
                "Git",
                orange()};
    }
    if (appName == "Slack") {
        return {{"slack", "com.slack.Slack"}, "bubble.left", "Manual", accent()};
    }
    if (appName == "Mail") {
        return {{"org.gnome.Evolution", "org.mozilla.Thunderbird", "thunderbird", "org.kde.kmail2"},
                "envelope",
                "Manual",
                accent()};
    }
    return {{}, "app", "Snippet", QColor(142, 142, 147)};
}

// Asked afresh each time a card is made: an application installed meanwhile shows its icon.
std::optional<std::string> StaticAppDemoCard::iconName(const std::string& appName, const IconLookup& lookup) {
    if (!lookup) {
        return std::nullopt;
    }
    for (const std::string& id : look(appName).desktopIDs) {
        std::optional<std::string> name = lookup(id);
        if (name && !name->empty()) {
            return name;
        }
    }
    return std::nullopt;
}

QWidget* StaticAppDemoCard::makeHeader(const IconLookup& appIcon, const IconLoader* icons) {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* symbol = new SymbolView(look(appName_).fallbackSymbol, 16, secondaryText(), header);
    symbol->setObjectName("appSymbol");
    symbol->setAccessibleName(QString::fromStdString(appName_));
    row->addWidget(symbol);
    if (const auto name = iconName(appName_, appIcon); name && icons) {
        icons->load(*name, 16, this, [this, header, row, symbol](const QIcon& icon) {
            if (icon.isNull()) {
                return;
            }
            auto* image = new QLabel(header);
            image->setObjectName("appIcon");
            image->setPixmap(icon.pixmap(16, 16));
            image->setFixedSize(16, 16);
            image->setAccessibleName(QString::fromStdString(appName_));
            delete row->replaceWidget(symbol, image);
            symbol->hide();
            symbol->deleteLater();
        });
    }
    row->addWidget(
        label(QString::fromStdString(appName_), systemFont(12, QFont::Medium), secondaryText(), header));
    row->addStretch(1);
    return header;
}

QWidget* StaticAppDemoCard::makeInput() {
    auto* box = card(controlBackground(0.5), 6, this);
    box->setStroke(separator(0.5), 1);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(8, 6, 8, 6);
    auto* text = label(QString::fromStdString(visualInput_), monospacedFont(13), primaryText(), box);
    text->setObjectName("visualInput");
    layout->addWidget(text);
    return box;
}

QWidget* StaticAppDemoCard::makePopup() {
    auto* popup = card(popupBackground(), 6, this);
    popup->setObjectName("demoPopup");
    auto* shadow = new QGraphicsDropShadowEffect(popup);
    shadow->setColor(QColor(0, 0, 0, 38));
    shadow->setBlurRadius(8);
    shadow->setOffset(0, 2);
    popup->setGraphicsEffect(shadow);
    auto* rows = new QVBoxLayout(popup);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    const AppLook appLook = look(appName_);
    const std::size_t shown = std::min(maxRows, snippetLabels_.size());
    for (std::size_t index = 0; index < shown; ++index) {
        // The first row is highlighted by its position, whatever its label.
        auto* row = card(index == 0 ? QColor(0, 122, 255, 26) : QColor(Qt::transparent), 0, popup);
        row->setObjectName("demoRow");
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(8, 5, 8, 5);
        line->setSpacing(8);
        auto* badge = new Badge(appLook.badge, row);
        badge->setObjectName("demoBadge");
        badge->setFont(systemFont(10, QFont::Medium));
        badge->setFill(badgeFill(appLook.badgeColor));
        badge->setTextColor(Qt::white);
        badge->setPadding(5, 2);
        badge->setRadius(3);
        // The badge measures its text in whole pixels but elides it at its fractional width: a pixel
        // more keeps the short badge texts whole.
        badge->setFixedWidth(badge->sizeHint().width() + 1);
        line->addWidget(badge);
        line->addWidget(
            label(QString::fromStdString(snippetLabels_[index]), monospacedFont(12), primaryText(), row));
        line->addStretch(1);
        rows->addWidget(row);
    }
    if (!snippetLabels_.empty()) {
        auto* hint = new QWidget(popup);
        auto* line = new QHBoxLayout(hint);
        line->setContentsMargins(8, 3, 8, 3);
        line->addStretch(1);
        line->addWidget(label("Tab accept", systemFont(10), tertiaryText(), hint));
        rows->addWidget(hint);
    }
    return popup;
}

} // namespace korvane
