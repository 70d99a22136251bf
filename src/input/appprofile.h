#pragma once

#include "input/injectionstrategy.h"

#include <cstdint>

namespace korvane {

// How text is inserted into one application and how long the injector pauses between its steps.
// Plain value; delays are in microseconds.
struct AppProfile {
    InjectionStrategy strategy = InjectionStrategy::ax;
    // Characters (UTF-16 code units) per typed chunk.
    int chunkSize = 20;
    std::uint32_t interChunkDelay = 0;
    std::uint32_t phaseGapDelay = 5000;
    std::uint32_t clipboardRestoreDelay = 50000;

    bool operator==(const AppProfile&) const = default;

    // Terminals: pasted, with room for the shell to catch up.
    static AppProfile terminalProfile();
    // Electron applications: pasted, with a long wait before the clipboard is put back.
    static AppProfile electronProfile();
    // Every other application: replaced through the accessibility interface.
    static AppProfile defaultProfile();
};

} // namespace korvane
