#include "app/tabbaselinereader.h"

#include "base/weakcallback.h"

#include <utility>

namespace korvane {

TabBaselineReader::TabBaselineReader(Scheduler& scheduler, ProjectDetector& projectDetector,
                                     std::shared_ptr<TriggerDetector> triggerDetector)
    : scheduler_(scheduler)
    , projectDetector_(projectDetector)
    , triggerDetector_(std::move(triggerDetector)) {}

void TabBaselineReader::readAfter(double delay) {
    // A key, a click or Korvane's own insertion (which may end in a newline that runs a command): what
    // was walked before it may have changed.
    projectDetector_.noteInput();
    if (waiting_) {
        waiting_->cancel();
    }
    waiting_ = scheduler_.postAfter(delay, weakCallback(weak_from_this(), &TabBaselineReader::read));
}

void TabBaselineReader::read() {
    if (underWay_) {
        readAgain_ = true;
        return;
    }
    if (isTypingTrigger()) {
        return;
    }
    auto reading = projectDetector_.tabBaselineReading();
    if (!reading) {
        return;
    }
    std::weak_ptr<TabBaselineReader> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    underWay_ = scheduler_.runInBackground(
        TaskPriority::userInitiated,
        [weak, scheduler, reading = std::move(*reading)](const CancellationToken& token) {
            auto baseline = reading.read();
            // Quitting: the scheduler may be gone.
            if (token.isCancelled()) {
                return;
            }
            scheduler->post(
                [weak, generation = reading.generation, baseline = std::move(baseline)]() mutable {
                    if (auto self = weak.lock()) {
                        self->tabsRead(generation, std::move(baseline));
                    }
                });
        });
}

void TabBaselineReader::cancel() {
    for (auto* reading : {&waiting_, &underWay_}) {
        if (*reading) {
            (*reading)->cancel();
        }
    }
}

void TabBaselineReader::tabsRead(std::uint64_t generation, TypedTab::Baseline baseline) {
    underWay_.reset();
    if (!isTypingTrigger()) {
        projectDetector_.applyTabBaseline(generation, std::move(baseline));
    }
    if (std::exchange(readAgain_, false)) {
        read();
    }
}

bool TabBaselineReader::isTypingTrigger() const {
    return triggerDetector_->state() == TriggerDetector::State::collecting ||
           triggerDetector_->triggerProgress() > 0;
}

} // namespace korvane
