#include "kittestsupport.h"

#include "uikit/animations.h"
#include "uikit/kitstyle.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <cstdlib>

namespace korvane::test {

void ensureKitApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "korvane_widget_tests";
        static char* argv[] = {name, nullptr};
        Animations::setEnabled(false);
        auto* application = new QApplication(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        // The focus frames of the standard controls, as the program draws them.
        KitStyle::install();
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10);
        QApplication::setFont(font);
        return application;
    }();
    (void)app;
}

void useDarkPalette(bool dark) {
    QPalette palette = QApplication::style()->standardPalette();
    if (dark) {
        palette.setColor(QPalette::Window, QColor(40, 40, 42));
        palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
        palette.setColor(QPalette::Base, QColor(30, 30, 32));
        palette.setColor(QPalette::AlternateBase, QColor(48, 48, 50));
        palette.setColor(QPalette::Text, QColor(235, 235, 235));
        palette.setColor(QPalette::Button, QColor(56, 56, 58));
        palette.setColor(QPalette::ButtonText, QColor(235, 235, 235));
        palette.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
        palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
        palette.setColor(QPalette::HighlightedText, Qt::white);
        palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    } else {
        palette.setColor(QPalette::Highlight, QColor(0, 122, 255));
    }
    QApplication::setPalette(palette);
}

QImage snapshotWidget(const std::string& name, QWidget& widget, QSize size) {
    widget.resize(size);
    // Layouts settle on posted events; a picture taken without an event loop must let them run.
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image, QPoint(0, 0), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    if (const char* dir = std::getenv("KORVANE_SNAPSHOT_DIR")) {
        image.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }
    return image;
}

} // namespace korvane::test
