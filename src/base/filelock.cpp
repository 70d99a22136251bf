#include "base/filelock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

// The bound of a blocking flock: a one-shot timer sends this thread a real-time signal whose handler
// does nothing and does not restart the call, so flock comes back with EINTR once the wait is over.
// The kernel queues the waiters, which a loop of non-blocking tries would not.
class LockTimer {
public:
    explicit LockTimer(std::chrono::milliseconds wait)
        : deadline_(std::chrono::steady_clock::now() + wait) {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, timeoutSignal());
        pthread_sigmask(SIG_UNBLOCK, &only, &previousMask_);
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = timeoutSignal();
        event._sigev_un._tid = static_cast<pid_t>(::gettid());
        armed_ = ::timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
        if (armed_) {
            itimerspec timeout{};
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
            timeout.it_value.tv_sec = static_cast<time_t>(seconds.count());
            timeout.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(wait - seconds).count());
            if (timeout.it_value.tv_sec == 0 && timeout.it_value.tv_nsec == 0) {
                timeout.it_value.tv_nsec = 1; // zero would disarm the timer
            }
            ::timer_settime(timer_, 0, &timeout, nullptr);
        }
    }
    ~LockTimer() {
        if (armed_) {
            ::timer_delete(timer_);
        }
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    LockTimer(const LockTimer&) = delete;
    LockTimer& operator=(const LockTimer&) = delete;

    bool expired() const { return std::chrono::steady_clock::now() >= deadline_; }

private:
    static int timeoutSignal() {
        static const int number = [] {
            const int chosen = SIGRTMIN + 5;
            struct sigaction action {};
            action.sa_handler = [](int) {};
            sigemptyset(&action.sa_mask);
            action.sa_flags = 0; // no SA_RESTART
            ::sigaction(chosen, &action, nullptr);
            return chosen;
        }();
        return number;
    }

    std::chrono::steady_clock::time_point deadline_;
    timer_t timer_{};
    bool armed_ = false;
    sigset_t previousMask_{};
};

} // namespace

Expected<FileLock, std::string> FileLock::acquire(const std::filesystem::path& path,
                                                  std::chrono::milliseconds wait) {
    // Read-only is enough for flock, so a lock file that lost its write bits still serves.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return makeUnexpected(fmt::format("Could not lock {}: {}", path.string(), std::strerror(errno)));
    }
    FileLock lock(fd);
    const LockTimer timer(wait);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return makeUnexpected(fmt::format("Could not lock {}: {}", path.string(), std::strerror(errno)));
        }
        if (timer.expired()) {
            return makeUnexpected(
                fmt::format("Could not lock {}: held elsewhere for over {} ms", path.string(), wait.count()));
        }
    }
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::~FileLock() {
    // Closing the descriptor releases the lock.
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

} // namespace korvane
