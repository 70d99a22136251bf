#include "textinkrecorder.h"

#include <QGraphicsEffect>
#include <QGraphicsOpacityEffect>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTextItem>
#include <QWidget>
#include <climits>

namespace korvane::test {
namespace {

// A paint engine that draws nothing and keeps each text item with the pen and opacity of its painter.
class RecordingEngine final : public QPaintEngine {
public:
    RecordingEngine()
        : QPaintEngine(QPaintEngine::AllFeatures) {}

    struct Item {
        QString text;
        QColor color;
        QRectF box;
    };
    std::vector<Item> items;

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState&) override {}

    void drawTextItem(const QPointF& origin, const QTextItem& item) override {
        const QPen pen = painter()->pen();
        if (pen.style() == Qt::NoPen || item.text().trimmed().isEmpty()) {
            return;
        }
        QColor color = pen.color();
        color.setAlphaF(static_cast<float>(color.alphaF() * painter()->opacity()));
        const QRectF logical(origin.x(), origin.y() - item.ascent(), item.width(),
                             item.ascent() + item.descent());
        items.push_back({item.text(), color, painter()->deviceTransform().mapRect(logical)});
    }

    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawRects(const QRect*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawEllipse(const QRect&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPoints(const QPointF*, int) override {}
    void drawPoints(const QPoint*, int) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
};

// A device as large and as dense as the window, so that texts are laid out as on screen.
class RecordingDevice final : public QPaintDevice {
public:
    explicit RecordingDevice(const QWidget& window)
        : window_(window) {}

    RecordingEngine engine;

    QPaintEngine* paintEngine() const override { return const_cast<RecordingEngine*>(&engine); }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return window_.width();
        case PdmHeight:
            return window_.height();
        case PdmWidthMM:
            return window_.widthMM();
        case PdmHeightMM:
            return window_.heightMM();
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
            return window_.logicalDpiX();
        case PdmDpiY:
            return window_.logicalDpiY();
        case PdmPhysicalDpiX:
            return window_.physicalDpiX();
        case PdmPhysicalDpiY:
            return window_.physicalDpiY();
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    const QWidget& window_;
};

// The product of the opacity effects on `widget` and its ancestors within its window.
double effectOpacity(const QWidget* widget) {
    double opacity = 1;
    for (; widget != nullptr; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
            effect != nullptr && effect->isEnabled()) {
            opacity *= effect->opacity();
        }
    }
    return opacity;
}

} // namespace

std::vector<TextInkRecorder::Ink> TextInkRecorder::record(QWidget& window) {
    std::vector<QWidget*> widgets{&window};
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (child->window() == &window && child->isVisible()) {
            widgets.push_back(child);
        }
    }
    std::vector<double> opacities;
    for (QWidget* widget : widgets) {
        opacities.push_back(effectOpacity(widget));
    }
    // An effect would paint its widget into a picture of its own, out of the recorder's sight; its
    // opacity is taken into the colours instead.
    std::vector<QGraphicsEffect*> switchedOff;
    for (QWidget* widget : widgets) {
        if (QGraphicsEffect* effect = widget->graphicsEffect(); effect != nullptr && effect->isEnabled()) {
            effect->setEnabled(false);
            switchedOff.push_back(effect);
        }
    }
    std::vector<Ink> inks;
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        QWidget* widget = widgets[i];
        RecordingDevice device(window);
        widget->render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
        const QRect shown = widget->visibleRegion().boundingRect();
        for (const RecordingEngine::Item& item : device.engine.items) {
            const QRect box = item.box.toAlignedRect() & shown;
            if (box.isEmpty()) {
                continue;
            }
            QColor color = item.color;
            color.setAlphaF(static_cast<float>(color.alphaF() * opacities[i]));
            inks.push_back({widget, item.text, color, box.translated(widget->mapTo(&window, QPoint()))});
        }
    }
    for (QGraphicsEffect* effect : switchedOff) {
        effect->setEnabled(true);
    }
    return inks;
}

} // namespace korvane::test
