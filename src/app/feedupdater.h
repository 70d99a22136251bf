#pragma once

#include "platform/alertpresenter.h"
#include "platform/updater.h"

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTimer;

namespace korvane {

// The update check: reads a small JSON feed from a local file ({"version", "critical",
// "informationOnly", "notes"}), compares its version with Korvane's and announces a newer one
// through the user-driver delegate, on a daily schedule and when the user asks. It never fetches
// anything over the network and never downloads or installs anything. Main thread.
class FeedUpdater final : public QObject, public Updater {
public:
    // What the feed says.
    struct FeedEntry {
        std::string version;
        bool critical = false;
        bool informationOnly = false;
        std::string notes;
    };

    // `feedLocation` is a file:// address or a plain path; anything else, or nothing, means no feed
    // and no checks. The delegate must outlive the updater.
    FeedUpdater(std::string appVersion, std::optional<std::string> feedLocation,
                UpdaterUserDriverDelegate& delegate, std::shared_ptr<AlertPresenter> alerts);
    ~FeedUpdater() override;
    FeedUpdater(const FeedUpdater&) = delete;
    FeedUpdater& operator=(const FeedUpdater&) = delete;

    // The feed location the user configured, from the environment.
    static std::optional<std::string> feedLocationFromEnvironment();
    // The local file a location names; nothing for other schemes and empty locations.
    static std::optional<std::filesystem::path> feedPath(const std::string& location);
    // Dot-separated numbers; nothing when any part is not a plain number.
    static std::optional<std::vector<std::uint64_t>> parseVersion(const std::string& version);
    // Negative, zero or positive as `a` is older than, the same as or newer than `b`; missing parts count as 0.
    static int compareVersions(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b);

    // Starts the schedule: a first check shortly after, then one a day. Without a feed nothing runs.
    void start();

    bool canCheckForUpdates() const override;
    void observeCanCheckForUpdates(std::function<void(bool)> observer) override;
    void checkForUpdates() override;

    // One scheduled check, as the timers run it.
    void runScheduledCheck();

    static constexpr int firstCheckDelayMs = 10'000;
    static constexpr int checkIntervalMs = 24 * 60 * 60 * 1000;

private:
    // The feed's entry, or why it could not be read.
    struct FeedResult {
        std::optional<FeedEntry> entry;
        std::string error;
    };
    FeedResult readFeed() const;
    bool isNewer(const FeedEntry& entry) const;
    void finishSession();

    std::string appVersion_;
    std::optional<std::filesystem::path> feedPath_;
    UpdaterUserDriverDelegate& delegate_;
    std::shared_ptr<AlertPresenter> alerts_;
    QTimer* timer_ = nullptr;
    // The update announced gently (through the status menu) and not yet seen by the user.
    std::optional<UpdateItem> pendingReminder_;
};

} // namespace korvane
