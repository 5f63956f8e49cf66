#ifndef NKKIVO_BENCH_HEAPMETER_H
#define NKKIVO_BENCH_HEAPMETER_H

#include <cstddef>

// Heap use as the C library's allocator sees it: every library under test
// allocates through malloc in the end, so the same meter is fair to all of
// them, and it includes the allocator's own per-block overhead.
class HeapMeter {
  public:
    // Bytes in blocks handed out and not yet freed, mapped blocks included.
    static std::size_t LiveBytes();
    // Keeps freed memory in the process instead of handing it back to the
    // system, as in a long-running host that has parsed before: each timed
    // parse then reuses warm pages rather than faulting in zeroed ones.
    // Affects this benchmark process only; the cold figures come from fresh
    // processes with the allocator's defaults.
    static void KeepFreedMemory();
    // Makes the allocator finish the work it defers after frees: glibc keeps
    // small freed blocks in fast lists and merges them only at the next large
    // request, which would charge one library's destroy to whatever runs
    // next. Each destroy is timed with this call, and each parse starts
    // after it.
    static void Settle();
    // Calls of the global operator new so far (a per-tag allocation count;
    // peers that use malloc directly do not show up here).
    static std::size_t NewCalls();
};

#endif
