#pragma once

#include <QImage>
#include <QSize>
#include <string>

class QWidget;

namespace korvane::test {

// The Qt application of the widget tests: the offscreen platform, the Fusion style under the kit's, a fixed
// font and animations off, so that pictures are the same on every machine. Made once; a test program that
// made its own application (on a display) keeps it.
void ensureKitApplication();

// Light or dark palette for the whole application (the settings windows follow the desktop's).
void useDarkPalette(bool dark);

// Renders `widget` at `size` and writes it to $KORVANE_SNAPSHOT_DIR/<name>.png when that is set.
QImage snapshotWidget(const std::string& name, QWidget& widget, QSize size);

} // namespace korvane::test
