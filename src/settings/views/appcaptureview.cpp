#include "settings/views/appcaptureview.h"

#include "settings/views/installedappsview.h"
#include "uikit/errorrow.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setObjectName(QStringLiteral("divider"));
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, KitColors::withAlpha(KitColors::primaryText(*parent), 0.15));
    line->setPalette(palette);
    return line;
}

QLabel* heading(QWidget* parent, const QString& text, bool secondary, double points) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(points);
    font.setWeight(secondary ? QFont::Normal : QFont::DemiBold);
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, KitColors::secondaryText(*parent));
        label->setPalette(palette);
    }
    return label;
}

QPushButton* plainButton(QWidget* parent, const char* symbol, const QString& text) {
    auto* button =
        new QPushButton(SymbolIcon::icon(symbol, KitColors::primaryText(*parent), 14), text, parent);
    button->setFlat(true);
    button->setAutoDefault(false);
    button->setAccessibleName(text);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("text-align: left; padding: 2px 0px;"));
    return button;
}

} // namespace

AppCaptureView::AppCaptureView(std::shared_ptr<ConfigurationViewModel> viewModel,
                               const ConfigurationServices& services, QWidget* host)
    : RoundedCard(host)
    , viewModel_(std::move(viewModel))
    , services_(services) {
    setObjectName(QStringLiteral("appCapture"));
    setAccessibleName(QStringLiteral("Add App"));
    setRadius(10);
    setFill(host->palette().color(QPalette::Window).lighter(KitColors::isDark(*host) ? 125 : 103));
    setStroke(KitColors::withAlpha(KitColors::primaryText(*host), 0.2), 1);
    setFixedWidth(width);
    build();
    observer_ = viewModel_->addObserver([this](ConfigurationViewModel::Field field) {
        if (field == ConfigurationViewModel::Field::appError) {
            refreshError();
        }
    });
    host->installEventFilter(this);
    qApp->installEventFilter(this);
}

AppCaptureView::~AppCaptureView() {
    viewModel_->removeObserver(observer_);
    qApp->removeEventFilter(this);
    delete installed_.data();
}

void AppCaptureView::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    layout->addWidget(heading(this, QStringLiteral("Add App"), false, 11));

    auto* errorRow = new ErrorRow(QStringLiteral("appError"), this);
    errorRow_ = errorRow;
    errorText_ = errorRow->text();
    layout->addWidget(errorRow_);
    refreshError();

    auto* capture = plainButton(this, "app.badge.checkmark", QStringLiteral("Capture Current App"));
    capture->setObjectName(QStringLiteral("captureCurrentApp"));
    capture->setToolTip(QStringLiteral("Add the currently active application"));
    connect(capture, &QPushButton::clicked, this, [this] { captureCurrentApp(); });
    layout->addWidget(capture);
    layout->addWidget(divider(this));

    addRecentSection(layout);

    auto* browse = plainButton(this, "square.grid.2x2", QStringLiteral("Browse Installed Apps"));
    browse->setObjectName(QStringLiteral("browseInstalledApps"));
    connect(browse, &QPushButton::clicked, this, [this] { browseInstalledApps(); });
    layout->addWidget(browse);
    layout->addWidget(divider(this));

    layout->addWidget(heading(this, QStringLiteral("Manual Entry"), true, 9.5));
    manualBundleId_ = new QLineEdit(this);
    manualBundleId_->setObjectName(QStringLiteral("manualBundleId"));
    manualBundleId_->setPlaceholderText(QStringLiteral("Bundle ID:"));
    manualBundleId_->setAccessibleName(QStringLiteral("Bundle ID:"));
    // On Linux an application is named by its desktop-file ID.
    manualBundleId_->setToolTip(QStringLiteral("e.g., org.gnome.TextEditor"));
    manualAppName_ = new QLineEdit(this);
    manualAppName_->setObjectName(QStringLiteral("manualAppName"));
    manualAppName_->setPlaceholderText(QStringLiteral("App Name:"));
    manualAppName_->setAccessibleName(QStringLiteral("App Name:"));
    layout->addWidget(manualBundleId_);
    layout->addWidget(manualAppName_);
    add_ = new QPushButton(QStringLiteral("Add"), this);
    add_->setObjectName(QStringLiteral("addManual"));
    add_->setAccessibleName(QStringLiteral("Add"));
    add_->setAutoDefault(false);
    add_->setEnabled(false);
    layout->addWidget(add_, 0, Qt::AlignLeft);
    auto refreshAdd = [this] {
        add_->setEnabled(!manualBundleId_->text().isEmpty() && !manualAppName_->text().isEmpty());
    };
    connect(manualBundleId_, &QLineEdit::textChanged, this, refreshAdd);
    connect(manualAppName_, &QLineEdit::textChanged, this, refreshAdd);
    connect(add_, &QPushButton::clicked, this, [this] {
        addAndDismiss(manualBundleId_->text().toStdString(), manualAppName_->text().toStdString());
    });
}

void AppCaptureView::addRecentSection(QVBoxLayout* layout) {
    const auto recent = viewModel_->getRecentApps ? viewModel_->getRecentApps()
                                                  : std::vector<ConfigurationViewModel::AppRecord>{};
    if (recent.empty()) {
        return;
    }
    layout->addWidget(heading(this, QStringLiteral("Recent Apps"), true, 9.5));
    std::vector<CatalogApplication> running;
    if (services_.applications) {
        running = services_.applications->runningApplications();
    }
    for (const auto& app : recent) {
        auto* row = new QPushButton(this);
        row->setObjectName(qs("recent:" + app.bundleID));
        row->setFlat(true);
        row->setAutoDefault(false);
        row->setAccessibleName(qs(app.name));
        row->setCursor(Qt::PointingHandCursor);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        const auto found = std::find_if(running.begin(), running.end(), [&](const CatalogApplication& r) {
            return r.bundleId == app.bundleID;
        });
        if (found != running.end() && services_.icons) {
            services_.icons->load(found->icon, 16, row, [row, rowLayout](const QIcon& icon) {
                if (!icon.isNull()) {
                    auto* picture = new QLabel(row);
                    picture->setPixmap(icon.pixmap(16, 16));
                    rowLayout->insertWidget(0, picture);
                }
            });
        }
        rowLayout->addWidget(new QLabel(qs(app.name), row));
        rowLayout->addStretch(1);
        auto* id = heading(row, qs(app.bundleID), true, 8.5);
        rowLayout->addWidget(id);
        row->setMinimumHeight(row->sizeHint().height() + 4);
        const auto record = app;
        connect(row, &QPushButton::clicked, this,
                [this, record] { addAndDismiss(record.bundleID, record.name); });
        layout->addWidget(row);
    }
    layout->addWidget(divider(this));
}

void AppCaptureView::refreshError() {
    const auto& error = viewModel_->appError();
    errorText_->setText(error ? qs(*error) : QString());
    errorText_->setAccessibleName(errorText_->text());
    errorRow_->setVisible(error.has_value());
    adjustSize();
}

void AppCaptureView::captureCurrentApp() {
    if (viewModel_->getLastNonKorvaneApp) {
        if (auto last = viewModel_->getLastNonKorvaneApp()) {
            addAndDismiss(last->bundleID, last->name);
            return;
        }
    }
    if (!services_.applications) {
        return;
    }
    auto frontmost = services_.applications->frontmostApplication();
    if (!frontmost || frontmost->bundleId.empty() || frontmost->bundleId == services_.ownBundleId ||
        frontmost->name.empty()) {
        return;
    }
    addAndDismiss(frontmost->bundleId, frontmost->name);
}

void AppCaptureView::addAndDismiss(const std::string& bundleId, const std::string& name) {
    viewModel_->addApp(bundleId, name);
    if (!viewModel_->appError()) {
        dismiss();
    }
}

void AppCaptureView::browseInstalledApps() {
    if (installed_) {
        return;
    }
    QPointer<AppCaptureView> self(this);
    auto* sheet = new InstalledAppsView(services_, window(),
                                        [self](const std::string& bundleId, const std::string& name) {
                                            if (!self) {
                                                return;
                                            }
                                            // The sheet closes whatever the outcome; the popover stays open
                                            // with a message on failure.
                                            if (self->installed_) {
                                                self->installed_->close();
                                            }
                                            self->addAndDismiss(bundleId, name);
                                        });
    installed_ = sheet;
    sheet->open();
}

void AppCaptureView::dismiss() {
    // The tab bar removes the popover when the flag drops.
    viewModel_->setShowingAppCapture(false);
}

void AppCaptureView::showUnder(QWidget* anchor) {
    anchor_ = anchor;
    QWidget* host = parentWidget();
    adjustSize();
    QPoint at = anchor->mapTo(host, QPoint(0, anchor->height() + 4));
    at.setX(std::clamp(at.x(), 8, std::max(8, host->width() - width - 8)));
    at.setY(std::clamp(at.y(), 8, std::max(8, host->height() - height() - 8)));
    move(at);
    show();
    raise();
    manualBundleId_->setFocus();
}

bool AppCaptureView::eventFilter(QObject* watched, QEvent* event) {
    if (installed_ || !isVisible()) {
        return RoundedCard::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == window()) {
            dismiss();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool onAnchor = anchor_ && (widget == anchor_ || anchor_->isAncestorOf(widget));
        if (widget && widget->window() == window() && widget != this && !isAncestorOf(widget) && !onAnchor) {
            // A click outside closes the popover; the click itself goes on (it may open it again).
            dismiss();
        }
    }
    return RoundedCard::eventFilter(watched, event);
}

} // namespace korvane
