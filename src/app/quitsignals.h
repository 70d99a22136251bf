#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"

#include <functional>

namespace korvane {

// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit on the main thread, so that the key tap stops
// and pending history is written as on "Quit Korvane". One per process; main thread.
class QuitSignals {
public:
    QuitSignals(Scheduler& scheduler, std::function<void()> onQuit);
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    std::function<void()> onQuit_;
    CancellationToken watch_;
};

} // namespace korvane
