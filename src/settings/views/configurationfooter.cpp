#include "settings/views/configurationfooter.h"

#include "platform/urlopener.h"
#include "settings/configurationviewmodel.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace korvane {

ConfigurationFooter::ConfigurationFooter(std::shared_ptr<ConfigurationViewModel> viewModel,
                                         std::shared_ptr<UrlOpener> urlOpener, QWidget* parent)
    : QWidget(parent)
    , viewModel_(std::move(viewModel))
    , configFile_(viewModel_->configFilePath())
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
    // Edits stay in the window while the file cannot be written; the user must learn why.
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("configFileError"));
    error_->setWordWrap(true);
    error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette errorPalette = error_->palette();
    errorPalette.setColor(QPalette::WindowText, KitColors::destructive());
    error_->setPalette(errorPalette);
    layout->addWidget(error_, 1);
    layout->addStretch(0);
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
    observer_ = viewModel_->addObserver([this](ConfigurationViewModel::Field field) {
        if (field == ConfigurationViewModel::Field::configFileError) {
            showFileError();
        }
    });
    showFileError();
}

ConfigurationFooter::~ConfigurationFooter() {
    viewModel_->removeObserver(observer_);
}

void ConfigurationFooter::showFileError() {
    const auto& message = viewModel_->configFileError();
    error_->setText(message ? QString::fromStdString(*message) : QString());
    error_->setAccessibleName(error_->text());
    error_->setToolTip(error_->text());
    error_->setVisible(message.has_value());
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
