#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"
#include "input/triggerdetector.h"
#include "providers/projectdetector.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace korvane {

// Reads the baseline of the terminal in front's tabs off the main thread, for the keys and clicks that
// begin no trigger, Korvane's own insertions, and a terminal's window coming forward. The walk below a
// terminal grows with what runs in it (a build, a program of many threads): one reading runs at a time,
// a request made meanwhile is read once it is done, and a trigger begun meanwhile is measured from the
// reading before it. Main thread; what it schedules holds it weakly.
class TabBaselineReader : public std::enable_shared_from_this<TabBaselineReader> {
public:
    TabBaselineReader(Scheduler& scheduler, ProjectDetector& projectDetector,
                      std::shared_ptr<TriggerDetector> triggerDetector);
    TabBaselineReader(const TabBaselineReader&) = delete;
    TabBaselineReader& operator=(const TabBaselineReader&) = delete;

    // Reads the tabs once `delay` seconds have passed, in place of a reading still waiting for its time.
    void readAfter(double delay);
    // Reads the tabs now, or once the reading under way is done.
    void read();
    // Quitting: a reading under way hands nothing back, as the scheduler may be gone.
    void cancel();

private:
    void tabsRead(std::uint64_t generation, TypedTab::Baseline baseline);
    // Whether a trigger is being typed or a session is open, when the tabs' reads are no baseline.
    bool isTypingTrigger() const;

    Scheduler& scheduler_;
    ProjectDetector& projectDetector_;
    std::shared_ptr<TriggerDetector> triggerDetector_;
    // The reading waiting for its time.
    std::optional<CancellationToken> waiting_;
    // The reading under way in the background, and whether another was asked for since it began.
    std::optional<CancellationToken> underWay_;
    bool readAgain_ = false;
};

} // namespace korvane
