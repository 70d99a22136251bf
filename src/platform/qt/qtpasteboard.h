#pragma once

#include "platform/pasteboard.h"
#include "platform/qt/watchedmimedata.h"

#include <QMetaObject>
#include <cstdint>
#include <memory>
#include <optional>

namespace korvane {

// The desktop clipboard through QClipboard. On X11 the clipboard is one item whose formats are the
// owner's targets; its change count rises with every change Qt reports and reads odd while another
// client owns it, so that a write by anyone else shows even when Qt does not report it. The
// primary selection is set with the clipboard (terminals paste it with Shift+Insert) and given
// its old text back on restore while Korvane still owns it. The text is taken when another program
// fetches its contents from either. Main thread; after the application.
class QtPasteboard final : public Pasteboard {
public:
    QtPasteboard();
    ~QtPasteboard() override;
    QtPasteboard(const QtPasteboard&) = delete;
    QtPasteboard& operator=(const QtPasteboard&) = delete;

    std::optional<std::string> string() const override;
    void setString(const std::string& text) override;
    std::vector<std::vector<std::string>> itemTypes() const override;
    std::optional<std::string> data(std::size_t item, const std::string& type) const override;
    std::uint64_t changeCount() const override;
    bool replaceWithString(const std::string& text) override;
    std::optional<std::chrono::microseconds> sinceTextTaken() const override;
    void replaceWithItems(const std::vector<PasteboardItem>& items) override;

private:
    QMetaObject::Connection changed_;
    std::uint64_t changes_ = 0;
    std::optional<std::string> replacedPrimary_;
    std::shared_ptr<WatchedMimeData::Watch> watch_ = std::make_shared<WatchedMimeData::Watch>();
};

} // namespace korvane
