#pragma once

#include "popup/views/paintcontext.h"
#include "popup/views/paintlog.h"

#include <QImage>
#include <QSize>
#include <functional>
#include <string>

class QWidget;

namespace korvane::test {

// The Qt application of the view tests, on the offscreen platform, with animations off. Made once.
void ensureOffscreenApplication();

// Paints `paint` over a fixed backdrop into an image of `size`, and writes it to
// $KORVANE_SNAPSHOT_DIR/<name>.png when that variable is set.
QImage snapshot(const std::string& name, QSize size, const std::function<void(QPainter&)>& paint);
// Renders `widget` (resized to `size`) the same way.
QImage snapshot(const std::string& name, QWidget& widget, QSize size);

// The dark default surface and theme with a paint log.
PaintContext testContext(PaintLog& log);

} // namespace korvane::test
