#include "app/feedupdater.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/jsonreader.h"

#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace korvane {
namespace {

// A feed is a few lines; anything larger is not one.
constexpr std::size_t maxFeedSize = 64 * 1024;

const char* const alertTitle = "Korvane Update";

bool hasScheme(const std::string& location) {
    const auto colon = location.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(location[0]))) {
        return false;
    }
    return std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

std::string availableText(const FeedUpdater::FeedEntry& entry) {
    std::string text = "Korvane " + entry.version + " is available.";
    if (!entry.notes.empty()) {
        text += "\n" + entry.notes;
    }
    return text;
}

} // namespace

FeedUpdater::FeedUpdater(std::string appVersion, std::optional<std::string> feedLocation,
                         UpdaterUserDriverDelegate& delegate, std::shared_ptr<AlertPresenter> alerts)
    : appVersion_(std::move(appVersion))
    , feedPath_(feedLocation ? feedPath(*feedLocation) : std::nullopt)
    , delegate_(delegate)
    , alerts_(std::move(alerts)) {}

FeedUpdater::~FeedUpdater() = default;

std::optional<std::string> FeedUpdater::feedLocationFromEnvironment() {
    const char* value = std::getenv("KORVANE_UPDATE_FEED");
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::filesystem::path> FeedUpdater::feedPath(const std::string& location) {
    if (location.empty()) {
        return std::nullopt;
    }
    if (!hasScheme(location)) {
        return std::filesystem::path(location);
    }
    const QUrl url(QString::fromStdString(location), QUrl::StrictMode);
    // Only a file on this machine: a host name would make it a network share.
    if (!url.isValid() || url.scheme() != QStringLiteral("file") || !url.host().isEmpty() || url.path().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(url.toLocalFile().toStdString());
}

std::optional<std::vector<std::uint64_t>> FeedUpdater::parseVersion(const std::string& version) {
    std::vector<std::uint64_t> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = std::min(version.find('.', start), version.size());
        const char* first = version.data() + start;
        const char* last = version.data() + dot;
        std::uint64_t part = 0;
        const auto [end, error] = std::from_chars(first, last, part);
        if (first == last || error != std::errc() || end != last) {
            return std::nullopt;
        }
        parts.push_back(part);
        if (dot == version.size()) {
            return parts;
        }
        start = dot + 1;
    }
}

int FeedUpdater::compareVersions(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b) {
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::uint64_t left = i < a.size() ? a[i] : 0;
        const std::uint64_t right = i < b.size() ? b[i] : 0;
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return 0;
}

void FeedUpdater::start() {
    if (!feedPath_ || timer_ != nullptr) {
        return;
    }
    QTimer::singleShot(firstCheckDelayMs, this, [this] { runScheduledCheck(); });
    timer_ = new QTimer(this);
    timer_->setInterval(checkIntervalMs);
    QObject::connect(timer_, &QTimer::timeout, this, [this] { runScheduledCheck(); });
    timer_->start();
}

bool FeedUpdater::canCheckForUpdates() const {
    return feedPath_.has_value();
}

void FeedUpdater::observeCanCheckForUpdates(std::function<void(bool)> observer) {
    if (!observer) {
        return;
    }
    // The answer never changes while the program runs (the feed is chosen at launch), so the
    // observer hears it once.
    observer(canCheckForUpdates());
}

FeedUpdater::FeedResult FeedUpdater::readFeed() const {
    if (!feedPath_) {
        return {std::nullopt, "no update feed is configured"};
    }
    auto contents = readRegularFile(*feedPath_, maxFeedSize);
    if (!contents) {
        return {std::nullopt, contents.error().message};
    }
    auto json = parseJson(*contents);
    if (!json) {
        return {std::nullopt, json.error()};
    }
    JsonDecodeStatus status(false);
    if (!json->is_object()) {
        return {std::nullopt, "the update feed is not a JSON object"};
    }
    const JsonObjectReader reader(*json, "", status);
    FeedEntry entry;
    entry.version = reader.requiredString("version");
    entry.critical = reader.optionalBool("critical").value_or(false);
    entry.informationOnly = reader.optionalBool("informationOnly").value_or(false);
    entry.notes = reader.optionalString("notes").value_or("");
    if (status.failed()) {
        return {std::nullopt, status.error()};
    }
    if (!parseVersion(entry.version)) {
        return {std::nullopt, "the update feed's version \"" + entry.version + "\" is not a version number"};
    }
    return {std::move(entry), {}};
}

bool FeedUpdater::isNewer(const FeedEntry& entry) const {
    const auto offered = parseVersion(entry.version);
    const auto running = parseVersion(appVersion_).value_or(std::vector<std::uint64_t>{0});
    return offered && compareVersions(*offered, running) > 0;
}

void FeedUpdater::runScheduledCheck() {
    if (!feedPath_) {
        return;
    }
    const FeedResult result = readFeed();
    if (!result.entry) {
        diagnostic("Update check failed: " + result.error);
        return;
    }
    if (!isNewer(*result.entry)) {
        return;
    }
    const UpdateItem item{result.entry->version, result.entry->critical, result.entry->informationOnly};
    if (pendingReminder_ && pendingReminder_->displayVersionString == item.displayVersionString) {
        return;
    }
    if (!delegate_.supportsGentleScheduledUpdateReminders() ||
        delegate_.standardUserDriverShouldHandleShowingScheduledUpdate(item, false)) {
        delegate_.standardUserDriverWillHandleShowingUpdate(true, item);
        if (alerts_) {
            alerts_->showInfoAlert(alertTitle, availableText(*result.entry));
        }
        finishSession();
        return;
    }
    delegate_.standardUserDriverWillHandleShowingUpdate(false, item);
    pendingReminder_ = item;
}

void FeedUpdater::checkForUpdates() {
    if (pendingReminder_) {
        delegate_.standardUserDriverDidReceiveUserAttention(*pendingReminder_);
    }
    const FeedResult result = readFeed();
    std::string text;
    if (!result.entry) {
        text = "Korvane could not check for updates: " + result.error + ".";
    } else if (isNewer(*result.entry)) {
        text = availableText(*result.entry);
    } else {
        text = "Korvane is up to date.";
    }
    if (alerts_) {
        alerts_->showInfoAlert(alertTitle, text);
    }
    finishSession();
}

void FeedUpdater::finishSession() {
    pendingReminder_.reset();
    delegate_.standardUserDriverWillFinishUpdateSession();
}

} // namespace korvane
