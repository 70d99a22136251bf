#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"
#include "input/triggerdetector.h"
#include "providers/tabbaselineshelf.h"

#include <memory>
#include <mutex>
#include <optional>

namespace korvane {

// Reads the baseline of the terminal in front's tabs off the main thread, for the keys and clicks that
// begin no trigger, Korvane's own insertions, and a terminal's window coming forward, and leaves it on the
// shelf for the next detection: the key tap asks for it itself, so that an ordinary key wakes the main
// thread never. The walk below a terminal grows with what runs in it (a build, a program of many threads):
// one reading runs at a time, a request made meanwhile is read once it is done, and a reading that a
// trigger's keys overtake is dropped, the trigger measured from the reading before it. Any thread.
class TabBaselineReader : public std::enable_shared_from_this<TabBaselineReader> {
public:
    TabBaselineReader(Scheduler& scheduler, std::shared_ptr<TabBaselineShelf> shelf,
                      std::shared_ptr<TriggerDetector> triggerDetector);
    TabBaselineReader(const TabBaselineReader&) = delete;
    TabBaselineReader& operator=(const TabBaselineReader&) = delete;

    // Whether the application in front's keys are worth a baseline: the key tap asks at each key.
    bool wanted() const { return shelf_->wanted(); }
    // An input reached the application in front (a key, a click, Korvane's own insertion): the tabs are
    // read once `delay` seconds have passed, in place of a reading still waiting for its time.
    void readAfter(double delay);
    // Reads the tabs now, or once the reading under way is done.
    void read();
    // Quitting: nothing more is read.
    void cancel();

private:
    void requestAfter(double delay);
    // On a background thread: reads until no request came meanwhile.
    void readInBackground();
    void readOnce();
    // Whether a trigger is being typed or a session is open, when the tabs' reads are no baseline.
    bool isTypingTrigger() const;

    Scheduler& scheduler_;
    std::shared_ptr<TabBaselineShelf> shelf_;
    std::shared_ptr<TriggerDetector> triggerDetector_;
    std::mutex lock_;
    // The reading waiting for its time.
    std::optional<CancellationToken> waiting_;
    // A reading is under way, and another was asked for since it began.
    bool underWay_ = false;
    bool readAgain_ = false;
    bool cancelled_ = false;
};

} // namespace korvane
