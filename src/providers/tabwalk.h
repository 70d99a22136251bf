#pragma once

#include "platform/processtable.h"
#include "providers/processinfo.h"

#include <cstdint>
#include <vector>

namespace korvane {

// The processes below a terminal as a walk begun after the user's last input found them, kept so that
// a trigger in a busy terminal (thousands of processes) need not walk them all again: no key or click
// came since to start or end a job, so only what changes without one is looked at again, which tabs
// run and which job each shows. Main thread; `read` on any thread.
class TabWalk {
public:
    // One tab: the terminal's child that runs it, and what it showed as the walk began.
    struct Tab {
        std::int32_t pid = 0;
        // The job its terminal shows; -1 for a process without one, whose children tell instead.
        std::int32_t foregroundGroup = -1;
        // Ascending.
        std::vector<std::int32_t> children;

        bool operator==(const Tab&) const = default;
    };

    struct Walked {
        // 0 where nothing may be kept: the walk is of no terminal, or its tabs could not be listed.
        std::int32_t terminal = 0;
        // By process id, ascending.
        std::vector<Tab> tabs;
        // As ProcessInfo::descendants lists them.
        std::vector<ProcessInfo::DescendantInfo> processes;
        // A copy of `processes` made where the walk ran, for the first trigger to take without copying
        // thousands of processes on the main thread.
        std::vector<ProcessInfo::DescendantInfo> spare;
    };

    // The walk below `terminal`, its tabs read before it: a tab that changes meanwhile reads changed
    // at the trigger, never unchanged with its old processes.
    static Walked read(std::int32_t terminal, ProcessTable& table);

    // The walk below `terminal` again after a key, starting from `before`, the last one: where the terminal
    // runs the same tabs, a tab whose job, children and job's children are those `before` saw keeps its
    // processes, their tab's and job leader's folders read again (a `cd` changes nothing else); a tab that
    // changed is walked again. A key typed into a busy terminal so reads a few files a tab, not thousands.
    // No spare is made. A program started two levels below a tab's job (by a shell the job started) changes
    // none of that: every readingsBetweenWalks readings, the walk is read afresh.
    static Walked readAgain(Walked before, std::int32_t terminal, ProcessTable& table);
    static constexpr unsigned readingsBetweenWalks = 8;

    // `walked` began when `inputs` inputs had reached the application in front. Returns the walk kept
    // before, for the caller to free where thousands of frees do not hold the main thread.
    Walked keep(Walked walked, std::uint64_t inputs);

    // The processes below `terminal` (ProcessInfo::descendants' order), `inputs` having reached the
    // application so far: the walk kept, its changed tabs walked again, where none came since it
    // began; else a new walk. What is returned is kept.
    std::vector<ProcessInfo::DescendantInfo> processes(std::int32_t terminal, std::uint64_t inputs,
                                                       ProcessTable& table);

    // The folders of `processes` read again, as ProcessInfo::descendants reads them: a program may
    // change its folder without a key.
    static void readFoldersAgain(std::vector<ProcessInfo::DescendantInfo>& processes, ProcessTable& table);

private:
    static std::int32_t foregroundGroupOf(std::int32_t pid, ProcessTable& table);
    static std::vector<std::int32_t> childrenIn(std::int32_t pid,
                                                const std::vector<ProcessInfo::DescendantInfo>& processes);
    static std::vector<std::int32_t> pidsOf(const std::vector<Tab>& tabs);
    // Whether `tab` still shows the job and runs the children it did.
    static bool unchanged(const Tab& tab, ProcessTable& table);
    // The same, and its job's leader too runs the children `walked` lists.
    static bool unchangedWithJob(const Tab& tab, const Walked& walked, ProcessTable& table);
    // `walked` with `tab`'s processes walked again, and `tab`'s children as found.
    static void walkAgain(Walked& walked, Tab& tab, ProcessTable& table);

    Walked kept_;
    std::uint64_t inputs_ = 0;
};

} // namespace korvane
