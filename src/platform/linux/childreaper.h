#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <sys/types.h>

namespace korvane {

// Keeps what child processes leave behind bounded. Korvane is a child subreaper, so a process that a
// run started and then left (a `setsid` child of a custom command or a git filter) is reparented to
// Korvane rather than to init; once a run has finished or been cut off, the processes it left are
// ended. A run is recognised by the `KORVANE_RUN_ID` variable that every child of the process runner
// carries, so what the URL opener starts (a browser) is never touched. The children that other parts
// wait for are registered while they are spawned, and only unregistered zombies are reaped, so no
// exit status is ever taken from its owner. Any thread; one lock around the registry and around what a
// sweep does to a child, not around its look at every process.
class ChildReaper {
public:
    static constexpr const char* runVariable = "KORVANE_RUN_ID";

    static ChildReaper& shared();

    // Makes this process the subreaper of its descendants; false when the system refused.
    static bool becomeSubreaper();

    // Held across a spawn and the registration of its pid, so that no sweep sees the new child
    // before it is known.
    std::unique_lock<std::mutex> lockForSpawn() { return std::unique_lock(lock_); }

    // A new run's identifier, active until `endRun`.
    std::uint64_t beginRun();
    // `pid` is waited for by its spawner; call with the spawn lock held.
    void registerChild(pid_t pid);
    // Called by the spawner once it has reaped `pid`.
    void unregisterChild(pid_t pid);

    // Ends what the run left behind and reaps unregistered zombies. `firstChild` is the pid of the
    // run's process (0 when none started): what it started came later and has a higher pid, so only
    // newer processes are looked at, unless the pids wrapped around or the last look at all of them
    // is a while ago.
    void endRun(std::uint64_t run, pid_t firstChild);

private:
    // One pass over the children from pid `since` on; true when something was killed, so that its
    // own children, now reparented here, get a pass too.
    bool sweep(pid_t since);
    bool carriesFinishedRun(pid_t pid) const;

    std::mutex lock_;
    pid_t lastFirstChild_ = 0;
    std::chrono::steady_clock::time_point lastFullSweep_{};
    // A multiset: a pid reaped by one spawner may already be reused by another's new child.
    std::multiset<pid_t> known_;
    std::set<std::uint64_t> activeRuns_;
    std::uint64_t nextRun_ = 1;
};

} // namespace korvane
