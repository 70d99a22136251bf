#pragma once

namespace korvane {

// How the C library's allocator is set up so that Korvane's resident memory stays near what it uses.
// Applied once at startup, before any thread starts; process-wide by nature.
class AllocatorSettings {
public:
    static void apply();
};

} // namespace korvane
