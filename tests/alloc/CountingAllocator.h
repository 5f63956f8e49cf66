#ifndef NKKIVO_TESTS_ALLOC_COUNTINGALLOCATOR_H
#define NKKIVO_TESTS_ALLOC_COUNTINGALLOCATOR_H

#include <cstddef>
#include <cstdint>

// Control of the allocator this test executable installs in place of malloc,
// calloc, realloc, free and every form of operator new and delete.
//
// Allocations are counted only while the allocator is armed, which a test
// does around the library calls of a scenario and nowhere else, so the test
// framework's own allocations neither shift the count nor fail. The k-th
// counted allocation of a scenario fails once: malloc, calloc and realloc
// return null, operator new throws std::bad_alloc (the nothrow forms return
// null). Every counted allocation is remembered until it is freed, armed or
// not, so whatever the library leaks stays visible as a live allocation.
class CountingAllocator {
  public:
    // Resets the counters and the live set; the failAt-th counted allocation
    // will fail (0: none fails). Leaves the allocator disarmed.
    static void StartScenario(std::uint64_t failAt);

    static void Arm();
    static void Disarm();

    // Allocations counted since StartScenario, the failed one included.
    static std::uint64_t Counted();
    // How many allocations were made to fail since StartScenario (0 or 1).
    static std::uint64_t Injected();

    // Counted allocations not yet freed, and their requested bytes.
    static std::size_t LiveCount();
    static std::size_t LiveBytes();
};

// Calls `call` with the allocator armed and returns its result.
template <typename Call> auto CallArmed(Call call) {
    CountingAllocator::Arm();
    auto result = call();
    CountingAllocator::Disarm();
    return result;
}

#endif
