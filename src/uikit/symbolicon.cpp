#include "uikit/symbolicon.h"

#include "uikit/symbolpaths.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <map>
#include <string>
#include <tuple>

namespace korvane {
namespace {

constexpr std::size_t maxCachedIcons = 256;

const SymbolPath* find(std::string_view name) {
    const auto& paths = symbolPaths();
    auto it =
        std::find_if(paths.begin(), paths.end(), [name](const SymbolPath& p) { return p.name == name; });
    return it == paths.end() ? nullptr : &*it;
}

} // namespace

bool SymbolIcon::has(std::string_view name) {
    return find(name) != nullptr;
}

std::vector<std::string_view> SymbolIcon::names() {
    std::vector<std::string_view> result;
    for (const SymbolPath& path : symbolPaths()) {
        result.push_back(path.name);
    }
    return result;
}

bool SymbolIcon::paint(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color) {
    const SymbolPath* path = find(name);
    if (!path) {
        return false;
    }
    // Drawn on a layer of its own first: some symbols cut shapes out of themselves, which must not
    // punch through whatever lies beneath.
    const double side = std::min(box.width(), box.height());
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int pixels = std::max(1, static_cast<int>(side * ratio * 2 + 0.5));
    QImage layer(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHint(QPainter::Antialiasing);
        layerPainter.scale(pixels / 16.0, pixels / 16.0);
        layerPainter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        layerPainter.setBrush(color);
        path->draw(layerPainter);
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side), layer);
    painter.restore();
    return true;
}

QIcon SymbolIcon::icon(std::string_view name, const QColor& color, int size) {
    if (!has(name)) {
        return {};
    }
    // Rows of the settings lists ask for the same few icons thousands of times. Names, palette
    // colours and sizes are few; the bound only guards against a caller that varies them freely.
    using Key = std::tuple<std::string, QRgb, int>;
    static std::map<Key, QIcon> drawn;
    Key key{std::string(name), color.rgba(), size};
    if (const auto found = drawn.find(key); found != drawn.end()) {
        return found->second;
    }
    if (drawn.size() >= maxCachedIcons) {
        drawn.clear();
    }
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(size * scale, size * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(painter, name, QRectF(0, 0, size * scale, size * scale), color);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    drawn.emplace(std::move(key), icon);
    return icon;
}

} // namespace korvane
