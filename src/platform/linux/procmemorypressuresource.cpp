#include "platform/linux/procmemorypressuresource.h"

#include "base/fileio.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace korvane {
namespace {

// The meminfo file is a few kilobytes; anything far larger is not one.
constexpr std::size_t kMaxMeminfoSize = 64 * 1024;

// The value of the line "<name>: <number> kB", or nothing.
std::optional<std::uint64_t> meminfoField(std::string_view text, std::string_view name) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() <= name.size() || !line.starts_with(name) || line[name.size()] != ':') {
            continue;
        }
        line.remove_prefix(name.size() + 1);
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        std::uint64_t value = 0;
        auto [next, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (error != std::errc() || next == line.data()) {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

// The SIGUSR1 test hook: the handler writes one byte into a pipe that lives as long as the process,
// so a late signal never writes into a descriptor that was closed and reused.
std::atomic<int> hookWriteEnd{-1};

void onTestSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(hookWriteEnd.load(std::memory_order_relaxed), &byte, 1);
    errno = saved;
}

// The read end of the hook's pipe with the handler installed, or -1 when that failed.
int installTestHook() {
    static std::once_flag once;
    static int readEnd = -1;
    std::call_once(once, [] {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        hookWriteEnd.store(fds[1]);
        struct sigaction action {};
        action.sa_handler = onTestSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(SIGUSR1, &action, nullptr) != 0) {
            return;
        }
        readEnd = fds[0];
    });
    return readEnd;
}

bool testHooksEnabled() {
    const char* value = std::getenv("KORVANE_TEST_HOOKS");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

} // namespace

ProcMemoryPressureSource::ProcMemoryPressureSource(Scheduler& scheduler, std::filesystem::path meminfo)
    : scheduler_(scheduler)
    , meminfo_(std::move(meminfo)) {}

ProcMemoryPressureSource::~ProcMemoryPressureSource() {
    stop();
}

ProcMemoryPressureSource::Level ProcMemoryPressureSource::nextLevel(Level current, double availableShare) {
    if (availableShare < criticalBelow) {
        return Level::critical;
    }
    if (availableShare >= normalAt) {
        return Level::normal;
    }
    if (current == Level::critical) {
        return availableShare >= criticalEasesAt ? Level::warning : Level::critical;
    }
    if (availableShare < warningBelow) {
        return Level::warning;
    }
    return current;
}

std::optional<double> ProcMemoryPressureSource::availableShare(std::string_view meminfo) {
    auto total = meminfoField(meminfo, "MemTotal");
    auto available = meminfoField(meminfo, "MemAvailable");
    if (!total || !available || *total == 0) {
        return std::nullopt;
    }
    return static_cast<double>(*available) / static_cast<double>(*total);
}

void ProcMemoryPressureSource::start(std::function<void(const MemoryPressureEvent&)> onPressure) {
    stop();
    onPressure_ = std::move(onPressure);
    if (testHooksEnabled()) {
        hookDescriptor_ = installTestHook();
        if (hookDescriptor_ >= 0) {
            // Signals sent before this start are not for this source.
            drainTestHook();
            hookTimer_ = scheduler_.postAfter(testHookInterval, [this] { pollTestHook(); });
        }
    }
    // The first reading comes from the main loop too, never from inside start().
    pollTimer_ = scheduler_.postAfter(0.0, [this] { poll(); });
}

void ProcMemoryPressureSource::stop() {
    for (auto* timer : {&pollTimer_, &hookTimer_}) {
        if (*timer) {
            (*timer)->cancel();
            timer->reset();
        }
    }
    onPressure_ = nullptr;
    level_ = Level::normal;
}

void ProcMemoryPressureSource::poll() {
    pollTimer_ = scheduler_.postAfter(pollInterval, [this] { poll(); });
    auto contents = readRegularFile(meminfo_, kMaxMeminfoSize);
    std::optional<double> share = contents ? availableShare(*contents) : std::nullopt;
    // An unreadable file tells nothing: the level stays where it was.
    if (!share) {
        return;
    }
    const Level next = nextLevel(level_, *share);
    const bool rose = static_cast<int>(next) > static_cast<int>(level_);
    level_ = next;
    if (rose) {
        report(next == Level::critical ? MemoryPressureEvent{.critical = true} : MemoryPressureEvent{.warning = true});
    }
}

void ProcMemoryPressureSource::pollTestHook() {
    hookTimer_ = scheduler_.postAfter(testHookInterval, [this] { pollTestHook(); });
    if (drainTestHook()) {
        report(MemoryPressureEvent{.critical = true});
    }
}

bool ProcMemoryPressureSource::drainTestHook() {
    bool signalled = false;
    char buffer[64];
    while (::read(hookDescriptor_, buffer, sizeof buffer) > 0) {
        signalled = true;
    }
    return signalled;
}

void ProcMemoryPressureSource::report(const MemoryPressureEvent& event) {
    // The handler may stop or destroy this source; it runs last and on a copy.
    auto handler = onPressure_;
    if (handler) {
        handler(event);
    }
}

} // namespace korvane
