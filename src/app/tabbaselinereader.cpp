#include "app/tabbaselinereader.h"

#include <utility>

namespace korvane {

TabBaselineReader::TabBaselineReader(Scheduler& scheduler, std::shared_ptr<TabBaselineShelf> shelf,
                                     std::shared_ptr<TriggerDetector> triggerDetector)
    : scheduler_(scheduler)
    , shelf_(std::move(shelf))
    , triggerDetector_(std::move(triggerDetector)) {}

void TabBaselineReader::readAfter(double delay) {
    // A key, a click or Korvane's own insertion (which may end in a newline that runs a command): what
    // was walked before it may have changed.
    shelf_->noteInput();
    requestAfter(delay);
}

void TabBaselineReader::read() {
    requestAfter(0);
}

void TabBaselineReader::requestAfter(double delay) {
    std::lock_guard guard(lock_);
    if (cancelled_) {
        return;
    }
    if (waiting_) {
        waiting_->cancel();
    }
    std::weak_ptr<TabBaselineReader> weak = weak_from_this();
    waiting_ =
        scheduler_.runInBackgroundAfter(delay, TaskPriority::userInitiated, [weak](const CancellationToken&) {
            if (auto self = weak.lock()) {
                self->readInBackground();
            }
        });
}

void TabBaselineReader::cancel() {
    std::lock_guard guard(lock_);
    cancelled_ = true;
    if (waiting_) {
        waiting_->cancel();
    }
}

void TabBaselineReader::readInBackground() {
    {
        std::lock_guard guard(lock_);
        if (underWay_) {
            readAgain_ = true;
            return;
        }
        underWay_ = true;
    }
    for (;;) {
        readOnce();
        std::lock_guard guard(lock_);
        if (!std::exchange(readAgain_, false) || cancelled_) {
            underWay_ = false;
            return;
        }
    }
}

void TabBaselineReader::readOnce() {
    if (!shelf_->wanted() || isTypingTrigger()) {
        return;
    }
    const auto reading = shelf_->planned();
    if (!reading) {
        return;
    }
    const std::uint64_t inputs = shelf_->inputs();
    auto baseline = reading->read();
    // The trigger's first keys came while the tabs were read: some reads may count them.
    if (!isTypingTrigger()) {
        shelf_->offer({reading->generation, inputs, std::move(baseline)});
    }
}

bool TabBaselineReader::isTypingTrigger() const {
    return triggerDetector_->state() == TriggerDetector::State::collecting ||
           triggerDetector_->triggerProgress() > 0;
}

} // namespace korvane
