#include "viewtestsupport.h"

#include "popup/popuptheme.h"
#include "popup/views/viewanimations.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QWidget>
#include <cstdlib>

namespace korvane::test {

void ensureOffscreenApplication() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "korvane_popup_views_tests";
        static char* argv[] = {name, nullptr};
        ViewAnimations::setEnabled(false);
        return new QApplication(argc, argv);
    }();
    (void)app;
}

namespace {

// A desk-like backdrop with some contrast, so that surfaces and borders show in the pictures.
void paintBackdrop(QPainter& painter, QSize size) {
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(58, 84, 120));
    gradient.setColorAt(1, QColor(190, 170, 140));
    painter.fillRect(QRect(QPoint(0, 0), size), gradient);
}

void save(const QImage& image, const std::string& name) {
    if (const char* dir = std::getenv("KORVANE_SNAPSHOT_DIR")) {
        image.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }
}

} // namespace

QImage snapshot(const std::string& name, QSize size, const std::function<void(QPainter&)>& paint) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paintBackdrop(painter, size);
    paint(painter);
    painter.end();
    save(image, name);
    return image;
}

QImage snapshot(const std::string& name, QWidget& widget, QSize size) {
    widget.resize(size);
    // The widget clears what it covers when it renders, so it is drawn apart and laid over the backdrop.
    QImage drawn(size, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    widget.render(&drawn, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
    QImage image(size + QSize(40, 40), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paintBackdrop(painter, image.size());
    painter.drawImage(QPoint(20, 20), drawn);
    painter.end();
    save(image, name);
    return image;
}

PaintContext testContext(PaintLog& log) {
    PaintContext context;
    context.theme = PopupTheme::defaultTheme();
    context.surface = PopupSurfaceStyle::solid(context.theme);
    context.log = &log;
    return context;
}

} // namespace korvane::test
