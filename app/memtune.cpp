#include "app/memtune.h"

#include <malloc.h>

namespace app {

void TuneMemory() {
    // A message of some megabytes is joined, decoded, escaped and written in
    // buffers of its own size, one after the other. Left to its defaults the
    // allocator hands each of them back to the system when freed and takes
    // fresh pages for the next, and the page faults cost more than the
    // copying. Buffers up to the largest threshold it takes come from the
    // heap, and freed memory up to a bound stays there for the next message.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
}

}  // namespace app
