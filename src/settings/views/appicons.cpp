#include "settings/views/appicons.h"

#include "base/fileio.h"
#include "uikit/symbolicon.h"

#include <QApplication>
#include <QImageReader>
#include <QPixmap>

namespace korvane {
namespace {

constexpr std::uint64_t maxIconFileSize = 1024 * 1024;
constexpr int maxIconSide = 256;

} // namespace

QIcon AppIcons::fromSpec(const std::string& spec) {
    if (spec.empty()) {
        return {};
    }
    if (spec.front() == '/') {
        const auto size = regularFileSize(spec);
        if (!size || *size > maxIconFileSize) {
            return {};
        }
        QImageReader reader(QString::fromStdString(spec));
        reader.setAllocationLimit(16);
        const QSize natural = reader.size();
        if (natural.isValid() && (natural.width() > maxIconSide || natural.height() > maxIconSide)) {
            reader.setScaledSize(natural.scaled(maxIconSide, maxIconSide, Qt::KeepAspectRatio));
        }
        const QImage image = reader.read();
        return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
    }
    // A theme name never names a file: no "/" and no dots leading elsewhere.
    if (spec.find('/') != std::string::npos) {
        return {};
    }
    return QIcon::fromTheme(QString::fromStdString(spec));
}

QIcon AppIcons::ownIcon() {
    const QIcon window = QApplication::windowIcon();
    if (!window.isNull()) {
        return window;
    }
    return SymbolIcon::icon("app", QColor(128, 128, 128), 16);
}

} // namespace korvane
