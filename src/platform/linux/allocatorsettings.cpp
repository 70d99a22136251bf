#include "platform/linux/allocatorsettings.h"

#include <malloc.h>

namespace korvane {

void AllocatorSettings::apply() {
    // Each worker thread would otherwise keep an allocator arena of its own, holding on to what the
    // index builds and searches freed there; two arenas keep the resident memory near what is in use.
    mallopt(M_ARENA_MAX, 2);
    // glibc raises its mapping threshold each time a large block is freed, up to 32 MiB, and from then
    // on serves such blocks (a previewed photograph's bytes, its decoded pixels) from the arenas,
    // whose free space a worker's arena never returns, not even to malloc_trim. A fixed threshold
    // keeps every block of 256 KiB or more in a mapping of its own, returned as soon as it is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

} // namespace korvane
