#pragma once

#include <csignal>
#include <spawn.h>

namespace korvane {

// Owners of the two posix_spawn setup objects, destroyed on every way out of a spawn.
class SpawnFileActions {
public:
    SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

    // The child leads a process group of its own (so that it can be stopped with everything it
    // started), blocks no signal and handles every signal the default way, whatever its parent did.
    void startInOwnProcessGroup() {
        sigset_t noSignals;
        sigemptyset(&noSignals);
        sigset_t defaultSignals;
        sigfillset(&defaultSignals);
        sigdelset(&defaultSignals, SIGKILL);
        sigdelset(&defaultSignals, SIGSTOP);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes_, 0);
        posix_spawnattr_setsigmask(&attributes_, &noSignals);
        posix_spawnattr_setsigdefault(&attributes_, &defaultSignals);
    }

private:
    posix_spawnattr_t attributes_;
};

} // namespace korvane
