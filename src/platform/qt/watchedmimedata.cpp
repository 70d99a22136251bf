#include "platform/qt/watchedmimedata.h"

namespace korvane {

WatchedMimeData::WatchedMimeData(const std::string& text, std::shared_ptr<Watch> watch)
    : watch_(std::move(watch)) {
    setText(QString::fromStdString(text));
}

QVariant WatchedMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    QVariant data = QMimeData::retrieveData(mimeType, type);
    // A format the data lacks hands nothing over: the asker tries another.
    if (!watch_->ownRead && data.isValid()) {
        watch_->lastTaken = std::chrono::steady_clock::now();
    }
    return data;
}

} // namespace korvane
