#include "alloc/CountingAllocator.h"

#include <cstdlib>
#include <new>

// glibc's own entry points. glibc lets an executable replace malloc and its
// companions; the replacements below forward to these, so every block still
// comes from the one glibc heap and blocks from memalign and friends, which
// are not replaced, can be freed here as usual. AddressSanitizer's runtime
// replaces the same functions, so the sanitizer build leaves this executable
// out and the plain build's run covers it.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

// The live set: an open-addressing hash table in static storage, because
// the allocator cannot allocate for its own bookkeeping. Linear probing with
// backward-shift deletion, so no tombstones pile up over a long sweep.
constexpr unsigned kSlotBits = 16;
constexpr std::size_t kSlotCount = std::size_t{1} << kSlotBits;
constexpr std::size_t kSlotMask = kSlotCount - 1;

struct Slot {
    void* block;
    std::size_t size;
};

Slot slots[kSlotCount];
std::size_t liveCount = 0;
std::size_t liveBytes = 0;

bool armed = false;
std::uint64_t counted = 0;
std::uint64_t failAt = 0;
std::uint64_t injected = 0;

std::size_t Home(const void* block) {
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    return static_cast<std::size_t>(
        (static_cast<std::uint64_t>(address >> 4) * 0x9E3779B97F4A7C15ULL) >> (64 - kSlotBits));
}

void Remember(void* block, std::size_t size) {
    if (liveCount >= kSlotCount / 2) {
        std::abort(); // a scenario far larger than this table was made for
    }
    std::size_t slot = Home(block);
    while (slots[slot].block != nullptr) {
        slot = (slot + 1) & kSlotMask;
    }
    slots[slot] = {block, size};
    ++liveCount;
    liveBytes += size;
}

bool InRange(std::size_t hole, std::size_t home, std::size_t slot) {
    // Is `home` in the cyclic interval (hole, slot]?
    return hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
}

bool Forget(const void* block) {
    if (liveCount == 0) {
        return false;
    }
    std::size_t slot = Home(block);
    while (slots[slot].block != block) {
        if (slots[slot].block == nullptr) {
            return false;
        }
        slot = (slot + 1) & kSlotMask;
    }
    --liveCount;
    liveBytes -= slots[slot].size;
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & kSlotMask; slots[next].block != nullptr;
         next = (next + 1) & kSlotMask) {
        if (!InRange(hole, Home(slots[next].block), next)) {
            slots[hole] = slots[next];
            hole = next;
        }
    }
    slots[hole] = {nullptr, 0};
    return true;
}

// Counts one allocation if armed; true when this one is to fail.
bool NextFails() {
    if (!armed) {
        return false;
    }
    ++counted;
    if (counted == failAt) {
        ++injected;
        return true;
    }
    return false;
}

void* Record(void* block, std::size_t size) {
    if (block != nullptr && armed) {
        Remember(block, size);
    }
    return block;
}

void* AlignedAllocate(std::size_t size, std::align_val_t alignment) {
    if (NextFails()) {
        return nullptr;
    }
    return Record(__libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size), size);
}

} // namespace

void CountingAllocator::StartScenario(std::uint64_t failAtCount) {
    armed = false;
    counted = 0;
    injected = 0;
    failAt = failAtCount;
    for (Slot& slot : slots) {
        slot = {nullptr, 0};
    }
    liveCount = 0;
    liveBytes = 0;
}

void CountingAllocator::Arm() {
    armed = true;
}

void CountingAllocator::Disarm() {
    armed = false;
}

std::uint64_t CountingAllocator::Counted() {
    return counted;
}

std::uint64_t CountingAllocator::Injected() {
    return injected;
}

std::size_t CountingAllocator::LiveCount() {
    return liveCount;
}

std::size_t CountingAllocator::LiveBytes() {
    return liveBytes;
}

extern "C" {

void* malloc(std::size_t size) noexcept {
    if (NextFails()) {
        return nullptr;
    }
    return Record(__libc_malloc(size), size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    if (NextFails()) {
        return nullptr;
    }
    return Record(__libc_calloc(count, size), count * size);
}

void* realloc(void* block, std::size_t size) noexcept {
    if (block == nullptr) {
        return malloc(size);
    }
    if (size == 0) {
        free(block);
        return nullptr;
    }
    if (NextFails()) {
        return nullptr; // the old block stays valid, as on a real failure
    }
    void* const moved = __libc_realloc(block, size);
    if (moved != nullptr) {
        // A block the library got while armed stays counted after it grows.
        const bool wasCounted = Forget(block);
        if (wasCounted || armed) {
            Remember(moved, size);
        }
    }
    return moved;
}

void free(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    Forget(block);
    __libc_free(block);
}

} // extern "C"

void* operator new(std::size_t size) {
    void* const block = malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return malloc(size == 0 ? 1 : size);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    void* const block = AlignedAllocate(size, alignment);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AlignedAllocate(size, alignment);
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AlignedAllocate(size, alignment);
}

void operator delete(void* block) noexcept {
    free(block);
}

void operator delete[](void* block) noexcept {
    free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    free(block);
}

void operator delete(void* block, std::align_val_t) noexcept {
    free(block);
}

void operator delete[](void* block, std::align_val_t) noexcept {
    free(block);
}

void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    free(block);
}

void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    free(block);
}

void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    free(block);
}

void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    free(block);
}
