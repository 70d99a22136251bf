#include "input/appprofilecache.h"

#include "input/applicationsets.h"
#include "platform/fake/fakeelectronprobe.h"

#include <gtest/gtest.h>
#include <latch>
#include <thread>
#include <vector>

namespace korvane {
namespace {

class AppProfileCacheTest : public testing::Test {
protected:
    std::shared_ptr<FakeElectronProbe> probe = std::make_shared<FakeElectronProbe>();
    AppProfileCache cache{probe};
};

TEST_F(AppProfileCacheTest, ProfilesCarryTheirExactDelays) {
    struct Row {
        const char* bundleID;
        InjectionStrategy strategy;
        int chunkSize;
        std::uint32_t interChunk, phaseGap, clipboardRestore;
    };
    const Row rows[] = {
        {"com.apple.Terminal", InjectionStrategy::clipboard, 10, 1500, 15000, 50000},
        {"debian-xterm", InjectionStrategy::clipboard, 10, 1500, 15000, 50000},
        {"com.microsoft.VSCode", InjectionStrategy::clipboard, 10, 1000, 8000, 200000},
        {"code", InjectionStrategy::clipboard, 10, 1000, 8000, 200000},
        {"org.gnome.TextEditor", InjectionStrategy::ax, 20, 0, 5000, 50000},
    };
    for (const Row& row : rows) {
        AppProfile profile = cache.profile(row.bundleID);
        EXPECT_EQ(profile.strategy, row.strategy) << row.bundleID;
        EXPECT_EQ(profile.chunkSize, row.chunkSize) << row.bundleID;
        EXPECT_EQ(profile.interChunkDelay, row.interChunk) << row.bundleID;
        EXPECT_EQ(profile.phaseGapDelay, row.phaseGap) << row.bundleID;
        EXPECT_EQ(profile.clipboardRestoreDelay, row.clipboardRestore) << row.bundleID;
    }
}

TEST_F(AppProfileCacheTest, ListedApplicationsAreDecidedWithoutTheProbe) {
    for (const std::string& id : terminalBundleIDs()) {
        EXPECT_EQ(cache.profile(id), AppProfile::terminalProfile()) << id;
    }
    for (const std::string& id : electronBundleIDs()) {
        EXPECT_EQ(cache.profile(id), AppProfile::electronProfile()) << id;
    }
    EXPECT_EQ(probe->calls, 0);
}

TEST_F(AppProfileCacheTest, CommonLinuxTerminalsAreTerminals) {
    for (const char* id : {"xterm", "debian-xterm", "XTerm", "org.gnome.Terminal", "org.kde.konsole", "kitty",
                           "Alacritty", "org.wezfurlong.wezterm", "foot", "xfce4-terminal", "com.gexperts.Tilix",
                           "terminator", "URxvt", "rxvt-unicode"}) {
        EXPECT_EQ(cache.profile(id).strategy, InjectionStrategy::clipboard) << id;
    }
}

TEST_F(AppProfileCacheTest, ProbedElectronApplicationKeepsItsProfileAfterQuitting) {
    probe->launch("com.example.chat");
    EXPECT_EQ(cache.profile("com.example.chat"), AppProfile::electronProfile());
    probe->quit("com.example.chat");
    EXPECT_EQ(cache.profile("com.example.chat"), AppProfile::electronProfile());
    EXPECT_EQ(probe->calls, 1);
    EXPECT_FALSE(cache.isElectronApp("com.example.chat"));
}

TEST_F(AppProfileCacheTest, ApplicationNotRunningGetsTheDefaultAndKeepsIt) {
    EXPECT_EQ(cache.profile("com.example.notes"), AppProfile::defaultProfile());
    probe->launch("com.example.notes");
    EXPECT_EQ(cache.profile("com.example.notes"), AppProfile::defaultProfile());
    EXPECT_EQ(probe->calls, 1);
}

TEST_F(AppProfileCacheTest, LetterCaseMatters) {
    for (const char* id : {"com.apple.terminal", "Xterm", "KITTY", "com.microsoft.vscode", "Code"}) {
        EXPECT_EQ(cache.profile(id), AppProfile::defaultProfile()) << id;
    }
    EXPECT_EQ(probe->calls, 5);
}

TEST_F(AppProfileCacheTest, ThreadsAskingAtOnceGetOneAnswer) {
    probe->launch("com.example.electron");
    constexpr int threadCount = 8;
    std::latch start(threadCount);
    std::vector<AppProfile> electron(threadCount), plain(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            electron[i] = cache.profile("com.example.electron");
            plain[i] = cache.profile("com.example.plain");
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < threadCount; ++i) {
        EXPECT_EQ(electron[i], AppProfile::electronProfile());
        EXPECT_EQ(plain[i], AppProfile::defaultProfile());
    }
    EXPECT_LE(probe->calls, 2 * threadCount);
}

} // namespace
} // namespace korvane
