#include "platform/qt/qtpasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringList>
#include <algorithm>
#include <array>

namespace korvane {
namespace {

// Targets of the selection protocol itself, which carry no contents.
constexpr std::array<const char*, 4> pseudoTargets = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS"};

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

QMimeData* textData(const std::string& text) {
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdString(text));
    return mime;
}

// Korvane's own reads of what it offers, which hand nothing to another program.
class OwnRead {
public:
    explicit OwnRead(WatchedMimeData::Watch& watch)
        : watch_(watch) {
        watch_.ownRead = true;
    }
    ~OwnRead() { watch_.ownRead = false; }
    OwnRead(const OwnRead&) = delete;
    OwnRead& operator=(const OwnRead&) = delete;

private:
    WatchedMimeData::Watch& watch_;
};

} // namespace

QtPasteboard::QtPasteboard() {
    changed_ = QObject::connect(clipboard(), &QClipboard::changed, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) {
            ++changes_;
        }
    });
}

QtPasteboard::~QtPasteboard() {
    QObject::disconnect(changed_);
}

std::optional<std::string> QtPasteboard::string() const {
    const OwnRead own(*watch_);
    const QMimeData* mime = clipboard()->mimeData(QClipboard::Clipboard);
    if (mime == nullptr || !mime->hasText()) {
        return std::nullopt;
    }
    return mime->text().toStdString();
}

void QtPasteboard::setString(const std::string& text) {
    clipboard()->setMimeData(textData(text), QClipboard::Clipboard);
}

std::vector<std::vector<std::string>> QtPasteboard::itemTypes() const {
    const QMimeData* mime = clipboard()->mimeData(QClipboard::Clipboard);
    if (mime == nullptr) {
        return {};
    }
    std::vector<std::string> types;
    for (const QString& format : mime->formats()) {
        const std::string name = format.toStdString();
        if (std::find(pseudoTargets.begin(), pseudoTargets.end(), name) == pseudoTargets.end()) {
            types.push_back(name);
        }
    }
    if (types.empty()) {
        return {};
    }
    return {std::move(types)};
}

std::optional<std::string> QtPasteboard::data(std::size_t item, const std::string& type) const {
    const OwnRead own(*watch_);
    const QMimeData* mime = clipboard()->mimeData(QClipboard::Clipboard);
    if (item != 0 || mime == nullptr) {
        return std::nullopt;
    }
    const QByteArray bytes = mime->data(QString::fromStdString(type));
    if (bytes.isEmpty()) {
        return std::nullopt;
    }
    return bytes.toStdString();
}

std::uint64_t QtPasteboard::changeCount() const {
    return (changes_ << 1) | (clipboard()->ownsClipboard() ? 0u : 1u);
}

bool QtPasteboard::replaceWithString(const std::string& text) {
    replacedPrimary_.reset();
    const bool primary = clipboard()->supportsSelection();
    if (primary) {
        const OwnRead own(*watch_);
        replacedPrimary_ = clipboard()->text(QClipboard::Selection).toStdString();
    }
    watch_ = std::make_shared<WatchedMimeData::Watch>();
    if (primary) {
        clipboard()->setMimeData(new WatchedMimeData(text, watch_), QClipboard::Selection);
    }
    clipboard()->setMimeData(new WatchedMimeData(text, watch_), QClipboard::Clipboard);
    return clipboard()->ownsClipboard();
}

std::optional<std::chrono::microseconds> QtPasteboard::sinceTextTaken() const {
    if (!watch_->lastTaken) {
        return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 *watch_->lastTaken);
}

void QtPasteboard::replaceWithItems(const std::vector<PasteboardItem>& items) {
    if (replacedPrimary_ && clipboard()->ownsSelection()) {
        if (replacedPrimary_->empty()) {
            clipboard()->clear(QClipboard::Selection);
        } else {
            clipboard()->setMimeData(textData(*replacedPrimary_), QClipboard::Selection);
        }
    }
    replacedPrimary_.reset();
    if (items.empty()) {
        clipboard()->clear(QClipboard::Clipboard);
        return;
    }
    // X11 offers one item: the formats of later items join the first where it lacks them.
    auto* mime = new QMimeData;
    for (const PasteboardItem& item : items) {
        for (const auto& [type, bytes] : item.dataByType) {
            const QString format = QString::fromStdString(type);
            if (!mime->hasFormat(format)) {
                mime->setData(format, QByteArray::fromStdString(bytes));
            }
        }
    }
    clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

} // namespace korvane
