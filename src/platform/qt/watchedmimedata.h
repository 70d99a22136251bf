#pragma once

#include <QMimeData>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// Text Korvane offers on a selection, noting when its contents are taken. On X11 the owner hands its
// data out when another program asks for it, which a busy target does late; until then the old
// clipboard must not come back. Korvane's own reads are marked so that they do not count. Main thread.
class WatchedMimeData final : public QMimeData {
public:
    // Shared by the data Korvane put on the clipboard and the primary selection at once.
    struct Watch {
        std::optional<std::chrono::steady_clock::time_point> lastTaken;
        bool ownRead = false;
    };

    WatchedMimeData(const std::string& text, std::shared_ptr<Watch> watch);

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::shared_ptr<Watch> watch_;
};

} // namespace korvane
