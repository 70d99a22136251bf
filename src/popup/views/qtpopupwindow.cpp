#include "popup/views/qtpopupwindow.h"

#include "platform/qt/qtdesktopcoordinates.h"
#include "popup/views/popupcontentview.h"
#include "popup/views/popupview.h"
#include "popup/views/surfacepainter.h"
#include "popup/views/viewanimations.h"

#include <QBitmap>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>
#include <xcb/xcb.h>

namespace korvane {

namespace {

// A frame on whole pixels, each edge rounded, so that a frame never grows by a pixel on the way.
QRect pixelRect(const ScreenRect& frame) {
    const QRectF r = QtDesktopCoordinates::fromScreen(frame);
    return QRect(static_cast<int>(std::lround(r.x())), static_cast<int>(std::lround(r.y())),
                 static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())));
}

} // namespace

bool QtPopupWindow::compositorRunning() {
    const auto* x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return false;
    }
    xcb_connection_t* connection = x11->connection();
    const char name[] = "_NET_WM_CM_S0";
    auto* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof(name) - 1, name), nullptr);
    if (atom == nullptr) {
        return false;
    }
    const xcb_atom_t selection = atom->atom;
    free(atom);
    if (selection == XCB_NONE) {
        return false;
    }
    auto* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool running = owner != nullptr && owner->owner != XCB_NONE;
    free(owner);
    return running;
}

namespace {

// The popup's top-level widget, which tells when a frame of its content has gone to the screen: Qt
// paints every changed child and flushes them together while it handles the update request.
class PopupTopLevel final : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onFrameFlushed;

protected:
    bool event(QEvent* event) override {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::UpdateRequest && onFrameFlushed) {
            onFrameFlushed();
        }
        return handled;
    }
};

} // namespace

QtPopupWindow::QtPopupWindow(std::shared_ptr<PopupViewModel> model)
    : window_(std::make_unique<PopupTopLevel>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                     Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint |
                                                     Qt::X11BypassWindowManagerHint |
                                                     Qt::NoDropShadowWindowHint)) {
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->setAttribute(Qt::WA_X11DoNotAcceptFocus);
    window_->setAttribute(Qt::WA_X11NetWmWindowTypeDropDownMenu);
    window_->setFocusPolicy(Qt::NoFocus);
    window_->setWindowTitle("Korvane");
    translucent_ = compositorRunning();
    if (translucent_) {
        window_->setAttribute(Qt::WA_TranslucentBackground);
    }
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    content_ = new PopupContentView(std::move(model), window_.get());
    view_ = &content_->surface();
    view_->setGlassSupported(translucent_);
    layout->addWidget(content_);
    window_->resize(350, 200);
    view_->onPainted = [this] {
        if (shownAt_ && onFirstFrame) {
            onFirstFrame(std::chrono::steady_clock::now() - *shownAt_);
        }
        shownAt_.reset();
    };
    static_cast<PopupTopLevel*>(window_.get())->onFrameFlushed = [this] {
        if (onPainted) {
            onPainted();
        }
    };

    QObject::connect(&animation_, &QVariantAnimation::valueChanged, window_.get(),
                     [this](const QVariant& value) {
                         window_->setGeometry(value.toRect());
                         applyMask();
                     });
    QObject::connect(&animation_, &QVariantAnimation::finished, window_.get(), [this] {
        auto completion = std::exchange(completion_, nullptr);
        if (completion) {
            completion();
        }
    });
}

QtPopupWindow::~QtPopupWindow() {
    animation_.stop();
}

bool QtPopupWindow::isVisible() const {
    return window_->isVisible();
}

ScreenRect QtPopupWindow::frame() const {
    return QtDesktopCoordinates::toScreen(QRectF(window_->geometry()));
}

void QtPopupWindow::applyMask() {
    // Without a compositor transparent corners would show black; the window is cut to its outline.
    if (translucent_) {
        return;
    }
    QBitmap mask(window_->size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillPath(
        SurfacePainter::outline(QRectF(0, 0, window_->width(), window_->height()), PopupView::cornerRadius),
        Qt::color1);
    painter.end();
    window_->setMask(mask);
}

void QtPopupWindow::setFrame(const ScreenRect& frame) {
    const QRect geometry = pixelRect(frame);
    if (geometry != window_->geometry()) {
        const bool resized = geometry.size() != window_->size();
        window_->setGeometry(geometry);
        if (resized) {
            applyMask();
        }
    }
    view_->update();
}

void QtPopupWindow::animateFrame(const ScreenRect& frame, double seconds, double x1, double y1, double x2,
                                 double y2, std::function<void()> completion) {
    animation_.stop();
    completion_ = std::move(completion);
    if (!ViewAnimations::enabled() || ViewAnimations::reduceMotion()) {
        setFrame(frame);
        auto done = std::exchange(completion_, nullptr);
        if (done) {
            done();
        }
        return;
    }
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(x1, y1), QPointF(x2, y2), QPointF(1, 1));
    animation_.setEasingCurve(curve);
    animation_.setDuration(static_cast<int>(std::lround(seconds * 1000)));
    animation_.setStartValue(window_->geometry());
    animation_.setEndValue(pixelRect(frame));
    animation_.start();
}

void QtPopupWindow::stopAnimation() {
    completion_ = nullptr;
    animation_.stop();
}

void QtPopupWindow::orderFront() {
    if (!window_->isVisible()) {
        shownAt_ = std::chrono::steady_clock::now();
        applyMask();
        window_->show();
    }
    window_->raise();
}

void QtPopupWindow::orderOut() {
    window_->hide();
}

} // namespace korvane
