#include "settings/views/configurationfooter.h"

#include "platform/urlopener.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace korvane {

ConfigurationFooter::ConfigurationFooter(std::filesystem::path configFile,
                                         std::shared_ptr<UrlOpener> urlOpener, QWidget* parent)
    : QWidget(parent)
    , configFile_(std::move(configFile))
    , urlOpener_(std::move(urlOpener)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    auto* path =
        new QLabel(abbreviatedPath(QString::fromStdString(configFile_.string()), QDir::homePath()), this);
    path->setObjectName(QStringLiteral("configPath"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(9);
    path->setFont(mono);
    QPalette palette = path->palette();
    palette.setColor(QPalette::WindowText, KitColors::tertiaryText(*this));
    path->setPalette(palette);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path->setAccessibleName(path->text());
    layout->addWidget(path);
    layout->addStretch(1);
    auto* edit = new QPushButton(SymbolIcon::icon("doc.text", KitColors::primaryText(*this), 14),
                                 QStringLiteral("Edit Config File"), this);
    edit->setObjectName(QStringLiteral("editConfigFile"));
    edit->setAccessibleName(edit->text());
    edit->setAutoDefault(false);
    layout->addWidget(edit);
    connect(edit, &QPushButton::clicked, this, [this] {
        if (urlOpener_) {
            const QUrl url = QUrl::fromLocalFile(QString::fromStdString(configFile_.string()));
            urlOpener_->open(url.toString(QUrl::FullyEncoded).toStdString());
        }
    });
}

QString ConfigurationFooter::abbreviatedPath(const QString& path, const QString& home) {
    if (home.isEmpty() || home == QStringLiteral("/")) {
        return path;
    }
    const QString folder = home.endsWith('/') ? home.chopped(1) : home;
    if (path == folder) {
        return QStringLiteral("~");
    }
    if (path.startsWith(folder + '/')) {
        return QStringLiteral("~") + path.mid(folder.size());
    }
    return path;
}

} // namespace korvane
