#include "app/feedupdater.h"

#include "platform/fake/fakealertpresenter.h"
#include "support/logcapture.h"
#include "support/tempdir.h"
#include "shelltestsupport.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace korvane {
namespace {

// Records every callback as one line; shows scheduled updates itself when `handles` says so.
class RecordingDelegate final : public UpdaterUserDriverDelegate {
public:
    bool supportsGentleScheduledUpdateReminders() const override { return true; }
    bool standardUserDriverShouldHandleShowingScheduledUpdate(const UpdateItem& update, bool immediateFocus) const override {
        calls.push_back("shouldHandle " + describe(update) + (immediateFocus ? " focus" : ""));
        return update.isCriticalUpdate || update.isInformationOnlyUpdate;
    }
    void standardUserDriverWillHandleShowingUpdate(bool handle, const UpdateItem& update) override {
        calls.push_back(std::string("willHandle ") + (handle ? "true " : "false ") + describe(update));
    }
    void standardUserDriverDidReceiveUserAttention(const UpdateItem& update) override {
        calls.push_back("attention " + describe(update));
    }
    void standardUserDriverWillFinishUpdateSession() override { calls.push_back("finish"); }

    static std::string describe(const UpdateItem& u) {
        return u.displayVersionString + (u.isCriticalUpdate ? " critical" : "") + (u.isInformationOnlyUpdate ? " info" : "");
    }

    mutable std::vector<std::string> calls;
};

class FeedUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureShellApplication(); }

    std::unique_ptr<FeedUpdater> updater(std::optional<std::string> location, std::string appVersion = "0.1.0") {
        return std::make_unique<FeedUpdater>(std::move(appVersion), std::move(location), delegate, alerts);
    }

    test::LogCapture log;
    test::TempDir dir;
    RecordingDelegate delegate;
    std::shared_ptr<FakeAlertPresenter> alerts = std::make_shared<FakeAlertPresenter>();
};

TEST_F(FeedUpdaterTest, LocationsOtherThanLocalFilesMeanNoFeed) {
    const std::string feed = dir.write("feed.json", R"({"version": "9.0"})").string();
    struct Case {
        std::optional<std::string> location;
        bool canCheck;
    };
    for (const Case& c : std::vector<Case>{
             {std::nullopt, false},
             {"", false},
             {"http://127.0.0.1:9/feed.json", false},
             {"https://127.0.0.1/feed.json", false},
             {"ftp://127.0.0.1/feed.json", false},
             {"file://127.0.0.1" + feed, false},
             {"data:application/json,{\"version\":\"9.0\"}", false},
             {"file://" + feed, true},
             {feed, true},
         }) {
        SCOPED_TRACE(c.location.value_or("(none)"));
        delegate.calls.clear();
        auto u = updater(c.location);
        EXPECT_EQ(u->canCheckForUpdates(), c.canCheck);
        std::vector<bool> observed;
        u->observeCanCheckForUpdates([&](bool can) { observed.push_back(can); });
        EXPECT_EQ(observed, std::vector<bool>{c.canCheck});
        u->runScheduledCheck();
        EXPECT_EQ(delegate.calls.empty(), !c.canCheck);
    }
}

TEST_F(FeedUpdaterTest, ScheduledChecksAnnounceOnlyNewerVersions) {
    struct Case {
        std::string appVersion;
        std::string feed;
        std::vector<std::string> calls;
        std::size_t alerts;
    };
    const std::vector<Case> cases{
        {"0.1.0", R"({"version": "1.2.0"})", {"shouldHandle 1.2.0", "willHandle false 1.2.0"}, 0},
        {"0.1.0", R"({"version": "1.2.0", "critical": true})",
         {"shouldHandle 1.2.0 critical", "willHandle true 1.2.0 critical", "finish"}, 1},
        {"0.1.0", R"({"version": "0.2", "informationOnly": true, "notes": "file:///notes"})",
         {"shouldHandle 0.2 info", "willHandle true 0.2 info", "finish"}, 1},
        // Numbers, not text: 10 is newer than 9.
        {"0.9.5", R"({"version": "0.10.0"})", {"shouldHandle 0.10.0", "willHandle false 0.10.0"}, 0},
        {"0.1.0", R"({"version": "0.1"})", {}, 0},
        {"1.0.0", R"({"version": "0.99.99"})", {}, 0},
        {"0.1.0", R"({"version": "1.x"})", {}, 0},
        {"0.1.0", R"({"version": 2})", {}, 0},
        {"0.1.0", R"(["1.2.0"])", {}, 0},
        {"0.1.0", "not json", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.appVersion + " " + c.feed);
        delegate.calls.clear();
        const std::size_t alerts0 = alerts->alerts().size();
        auto u = updater(dir.write("feed.json", c.feed).string(), c.appVersion);
        u->runScheduledCheck();
        EXPECT_EQ(delegate.calls, c.calls);
        EXPECT_EQ(alerts->alerts().size(), alerts0 + c.alerts);
    }
}

TEST_F(FeedUpdaterTest, ManualChecksAlwaysShowTheResultAndEndTheSession) {
    const std::string feed = dir.write("feed.json", R"({"version": "1.2.0", "notes": "https://127.0.0.1/notes"})").string();
    auto u = updater("file://" + feed);
    u->runScheduledCheck();
    // Announced once until the user has seen it.
    u->runScheduledCheck();
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"shouldHandle 1.2.0", "willHandle false 1.2.0"}));
    delegate.calls.clear();
    u->checkForUpdates();
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"attention 1.2.0", "finish"}));
    using Alert = FakeAlertPresenter::Alert;
    EXPECT_EQ(alerts->alerts(), (std::vector<Alert>{{"Korvane Update", "Korvane 1.2.0 is available.\nhttps://127.0.0.1/notes"}}));

    dir.write("feed.json", R"({"version": "0.1.0"})");
    delegate.calls.clear();
    u->checkForUpdates();
    EXPECT_EQ(delegate.calls, std::vector<std::string>{"finish"});
    EXPECT_EQ(alerts->alerts().back(), (Alert{"Korvane Update", "Korvane is up to date."}));

    // A FIFO in place of the feed is refused without waiting for a writer.
    std::filesystem::remove(feed);
    ASSERT_EQ(mkfifo(feed.c_str(), 0600), 0);
    u->checkForUpdates();
    ASSERT_EQ(alerts->alerts().size(), 3u);
    const std::string& refused = alerts->alerts().back().message;
    EXPECT_EQ(refused.rfind("Korvane could not check for updates: ", 0), 0u) << refused;
}

} // namespace
} // namespace korvane
