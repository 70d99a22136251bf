// A process that measures itself: runs the user's command in a folder not trusted as scans and live
// runs do, several at once, and prints how far its resident memory rose above where it stood before
// ("grown <KiB>") and why each command waited ("reason <text>"). Past a bound far above the one the
// test checks it stops at once ("past <KiB>"), so that a reading without a bound cannot take the
// machine's memory. Usage: korvane_readingmemoryprobe <folder> <runs>.
#include "platform/linux/linuxprocessrunner.h"
#include "providers/shellcommandrunner.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A field of /proc/self/status, in KiB.
long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field + ":")) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = std::stoi(argv[2]);
    constexpr long stopAboveKiB = 512 * 1024;

    korvane::ShellCommandRunner runner(std::make_shared<korvane::LinuxProcessRunner>());
    // From here the peak is where resident memory stands.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long start = statusKiB("VmRSS");
    std::atomic<bool> done{false};
    std::thread watch([&] {
        while (!done) {
            if (const long grown = statusKiB("VmRSS") - start; grown > stopAboveKiB) {
                std::printf("past %ld\n", grown);
                std::fflush(stdout);
                _exit(3);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::vector<korvane::ShellCommandRunner::RunResult> results(static_cast<std::size_t>(runs));
    {
        std::vector<std::jthread> threads;
        for (int at = 0; at < runs; ++at) {
            threads.emplace_back([&, at] {
                auto& result = results[static_cast<std::size_t>(at)];
                result = at % 2 == 0 ? runner.run("true", folder, 60)
                                     : runner.runLive("true", folder, "q", "", "", false, 60);
            });
        }
    }
    done = true;
    watch.join();
    std::printf("grown %ld\n", statusKiB("VmHWM") - start);
    for (const auto& result : results) {
        std::printf("reason %s\n", result.waitingReason.value_or("(none)").c_str());
    }
    return 0;
}
