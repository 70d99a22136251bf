#include "platform/linux/procmemorypressuresource.h"

#include "base/fileio.h"
#include "platform/fake/manualscheduler.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <csignal>
#include <gtest/gtest.h>

namespace korvane {
namespace {

class ProcMemoryPressureSourceTest : public testing::Test {
protected:
    // A meminfo file with `availablePercent` of 1 000 000 kB available.
    void setAvailable(double availablePercent) {
        dir.write("meminfo", "MemTotal:        1000000 kB\nMemFree:           10000 kB\nMemAvailable:    " +
                                 std::to_string(static_cast<long>(availablePercent * 10000)) + " kB\n");
    }

    void start() {
        source.start([this](const MemoryPressureEvent& event) {
            events.push_back(event.critical ? "critical" : event.warning ? "warning" : "unknown");
        });
    }

    test::TempDir dir;
    ManualScheduler scheduler;
    ProcMemoryPressureSource source{scheduler, dir.path() / "meminfo"};
    std::vector<std::string> events;
};

TEST_F(ProcMemoryPressureSourceTest, ReportsEachRiseOnceWithMarginsBeforeReArming) {
    struct Reading {
        std::string meminfo; // a percentage, or the file's whole text when not a number
        std::vector<std::string> reported;
    };
    const std::vector<Reading> readings = {
        {"50", {}},
        {"9", {"warning"}},
        {"8", {}},
        {"11", {}}, // still warning: normal again only from 15 %
        {"9", {}},
        {"4", {"critical"}},
        {"4.9", {}},
        {"6", {}}, // still critical: eases only from 7.5 %
        {"4", {}},
        {"8", {}}, // eased to warning, so the next fall below 5 % reports again
        {"4.5", {"critical"}},
        {"14", {}},
        {"15", {}}, // normal
        {"9", {"warning"}},
        {"3", {"critical"}},
        {"20", {}},
        {"2", {"critical"}}, // straight from normal to critical: one event
        {"MemTotal: 0 kB\nMemAvailable: 0 kB\n", {}},
        {"MemTotal: 1000 kB\n", {}},
        {"garbage", {}},
        {"1", {}}, // unreadable files in between kept the level
        {"30", {}},
        {"MemAvailable:  10 kB\nMemTotal:  1000 kB\n", {"critical"}},
    };
    setAvailable(50);
    start();
    scheduler.runUntilIdle();
    for (const auto& reading : readings) {
        events.clear();
        if (reading.meminfo.find_first_not_of("0123456789.") == std::string::npos) {
            setAvailable(std::stod(reading.meminfo));
        } else {
            dir.write("meminfo", reading.meminfo);
        }
        scheduler.advance(ProcMemoryPressureSource::pollInterval);
        EXPECT_EQ(events, reading.reported) << "at " << reading.meminfo;
    }
}

TEST_F(ProcMemoryPressureSourceTest, FirstReadingComesFromTheLoopAndStopEndsReadings) {
    // The kernel's file reports a size of zero; it is read all the same.
    auto system = readRegularFile("/proc/meminfo");
    ASSERT_TRUE(system);
    auto share = ProcMemoryPressureSource::availableShare(*system);
    ASSERT_TRUE(share);
    EXPECT_GT(*share, 0.0);
    EXPECT_LE(*share, 1.0);

    setAvailable(3);
    start();
    EXPECT_TRUE(events.empty());
    scheduler.runUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"critical"});

    source.stop();
    setAvailable(50);
    scheduler.advance(ProcMemoryPressureSource::pollInterval);
    setAvailable(3);
    scheduler.advance(ProcMemoryPressureSource::pollInterval);
    EXPECT_EQ(events.size(), 1u);

    // A new start begins at normal, so the low reading reports again.
    start();
    scheduler.runUntilIdle();
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(ProcMemoryPressureSourceTest, SignalReportsCriticalOnlyWithTheTestHook) {
    setAvailable(50);
    {
        test::ScopedEnv hooks("KORVANE_TEST_HOOKS", "1");
        start();
        source.stop();
    }
    // The handler stays installed; a signal while no hooked source runs is not reported later.
    std::raise(SIGUSR1);
    start();
    scheduler.advance(1.0);
    EXPECT_TRUE(events.empty());
    source.stop();

    test::ScopedEnv hooks("KORVANE_TEST_HOOKS", "1");
    std::raise(SIGUSR1);
    start();
    scheduler.advance(ProcMemoryPressureSource::testHookInterval);
    EXPECT_TRUE(events.empty());
    std::raise(SIGUSR1);
    std::raise(SIGUSR1);
    scheduler.advance(ProcMemoryPressureSource::testHookInterval);
    EXPECT_EQ(events, std::vector<std::string>{"critical"});
}

} // namespace
} // namespace korvane
