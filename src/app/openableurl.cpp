#include "app/openableurl.h"

#include <QUrl>

namespace korvane {

bool isOpenableURL(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty();
}

} // namespace korvane
