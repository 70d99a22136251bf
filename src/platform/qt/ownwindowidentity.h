#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

class QWindow;

namespace korvane {

// Marks every window Korvane opens with its desktop-file ID (_KDE_NET_WM_DESKTOP_FILE), which the one
// rule that names a window's application reads before the window class: Korvane's own windows then
// carry the ID it knows itself by, whether or not a desktop file of Korvane is installed. An event
// filter on the application object; main thread. Does nothing off X11.
class OwnWindowIdentity final : public QObject {
public:
    // Marks the windows created from now on with `desktopID`, for as long as it lives.
    explicit OwnWindowIdentity(const QString& desktopID);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void mark(QWindow& window);

    QByteArray desktopID_;
    // Interned with the first window.
    std::uint32_t desktopFileAtom_ = 0;
    std::uint32_t utf8StringAtom_ = 0;
};

} // namespace korvane
